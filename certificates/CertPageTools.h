// What the certificate manager's pages share: the tool buttons (look and the address-book, people-search,
// import and certificate-stores actions), a certificate list with its current row and the page's own engine
// objects, viewing, checking and exporting a certificate, and the wait cursor of long work.
#pragma once

#include <initializer_list>

#include "app/WaitCursor.h"
#include "core/ByteBuffer.h"
#include "controls/ReportListCtrl.h"
#include "controls/TextureButton.h"
#include "engine/CapicomCertificate.h"
#include "engine/CapicomStore.h"
#include "platform/mfc/propsheet.h"

class CCapicomObjectSet;
class CCertificateRows;
class CCertSheet;

namespace certmgr {

// A tool button of the certificate pages: its icon, the hand cursor, the texture, blue text, flat.
void SetUpToolButton(CTextureButton& button, UINT iconId);

// Shows the certificate in the engine's certificate dialog; a failure of the dialog is logged and its text shown.
void DisplayCertificate(const CCapicomCertificate& certificate);
// Asks resource string 214; unless No, checks the certificate under the trust policy and tells the verdict.
// The trust policy's verdict on the certificate, with its text: what Check tells and the row mark of a personal
// certificate both come from here. An engine error is a refusal, with the engine's text.
bool PolicyVerdict(const CCapicomCertificate& certificate, CBstrString& message);
// With the signature (DER) a signer made: what is wrong with the signer as every signature check judges it
// (SignerProblem), else the verdict's own text.
void ValidateAndTell(CWnd* owner, const CCapicomCertificate& certificate, const CByteBuffer* signature = nullptr);
// The certificate, DER-encoded, to a ".cer" file the user names; tells 212 or 213. An engine error is logged
// and its text shown.
void ExportCertificateToFile(CWnd* owner, const CCapicomCertificate& certificate);
// An open-file dialog for a certificate file (title resource id); false when cancelled.
bool ChooseCertificateFile(CWnd* owner, UINT titleId, CString& path);

// The shared tools: the address book's browse dialog and people search over the window (221 when the address
// book cannot be loaded), and the platform's certificate manager.
void ShowAddressBookFor(CWnd* owner);
void FindPeopleFor(CWnd* owner);
void StartCertificateStores();

// The engine's prompt switch on and its directory search location from the certificate manager settings.
void PrepareEngine(CCapicomObjectSet* objects, bool searchLocation);

// Opens the engine's directory store of that name in store, the search made on a thread of its own: the page
// stays responsive and, once the search takes a moment, a small window offers Stop. A stopped search gives
// ERROR_CANCELLED (and the status line says so).
HRESULT OpenDirectoryStore(CWnd* page, CCapicomStore& store, const char* name);

// The status line (control 1065) of a directory page after a search: why nothing is listed (the search turned
// off when found < 0, no server set up, the server's error), that nothing was found, or that the list is partial.
void ShowDirectoryStatus(CWnd* page, HRESULT openResult, INT_PTR found);

// The date of a certificate as the pages show it.
CString DateText(const CDateTime& date);
CString InfoText(const CCapicomCertificate& certificate, LONG infoType);

using kx::WaitCursor;

// A table entry of a page's tool buttons.
struct ToolButton {
  int id;
  UINT icon;
};

}  // namespace certmgr

// The base of the certificate manager's list pages: list 1033, its current row, the page's engine objects
// (made by OnInitDialog, deleted with the window), up to eight tool buttons, and the shared handlers.
class CCertListPage : public CPropertyPage {
  DECLARE_DYNAMIC(CCertListPage)
 public:
  CCertListPage(UINT templateId, std::initializer_list<certmgr::ToolButton> buttons);
  ~CCertListPage() override;

  CReportListCtrl m_List;
  int m_nSelectedRow = -1;
  CCapicomObjectSet* m_pObjects = nullptr;

  BOOL OnInitDialog() override;
  BOOL DestroyWindow() override;
  // The sheet the page belongs to, or null.
  CCertSheet* GetCertSheet() const;
  // The certificate of a row; false when the row names none.
  virtual bool RowCertificate(int row, CCapicomCertificate& out);
  // The engine set's certificate (the page's current certificate); empty when there is no engine set.
  CCapicomCertificate CurrentCertificate() const;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void EnableControl(int id, BOOL enable);
  void ShowControl(int id, BOOL show);
  bool IsControlVisible(int id);
  // Empties the list and shows the rows (headings 199-202 or the given ones), widths, marks, item data = row
  // index, sorted by the first column; a row that was selected before is selected again.
  void ShowRows(const CCertificateRows& rows, const int (&widths)[4], const CStringList* headings = nullptr);
  // The current row becomes the row; its certificate becomes the engine set's certificate.
  void TakeRow(int row);
  // A row newly selected by an LVN_ITEMCHANGED notification, else -1.
  static int NewlySelected(NMHDR* header);
  static int ActivatedItem(NMHDR* header);

  afx_msg void OnView();
  afx_msg void OnValidate();
  afx_msg void OnImportPfx();
  afx_msg void OnAddressBook();
  afx_msg void OnFindPeople();
  afx_msg void OnCertificateStores();
  afx_msg void OnDestroy();
  afx_msg void OnWindowPosChanging(WINDOWPOS* pos);
  DECLARE_MESSAGE_MAP()

  void DeleteObjects();

  static constexpr int kButtonSlots = 8;
  CTextureButton m_Buttons[kButtonSlots];
  certmgr::ToolButton m_ButtonTable[kButtonSlots] = {};
  int m_nButtons = 0;
};
