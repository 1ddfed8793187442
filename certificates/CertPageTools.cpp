#include "certificates/CertPageTools.h"

#include <memory>
#include <string>

#include "app/ResString.h"
#include "app/FailureReport.h"
#include "app/SettingsPageTools.h"
#include "certificates/AddressBook.h"
#include "certificates/CertSheet.h"
#include "certificates/SelTrustPointsSheet.h"
#include "certificates/CertificateRows.h"
#include "certificates/CryptUILibrary.h"
#include "core/Win32File.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CertPolicy.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/ldap/ldap.h"
#include "platform/services/offthread.h"
#include "platform/mfc/afxwin.h"

namespace certmgr {

void SetUpToolButton(CTextureButton& button, UINT iconId) { SetUpTextureButton(button, iconId); }

void DisplayCertificate(const CCapicomCertificate& certificate) {
  try {
    CCapicomCertificate(certificate).Display();
  } catch (const _com_error& e) {
    kx::ReportFailure(AfxGetMainWnd(), "Certificate Display", kx::EngineText(e));
  }
}

bool PolicyVerdict(const CCapicomCertificate& certificate, CBstrString& message) {
  return IsCertificateValid(certificate, &message);
}

void ValidateAndTell(CWnd* owner, const CCapicomCertificate& certificate, const CByteBuffer* signature) {
  if (owner->MessageBox(LoadResString(214), nullptr, MB_YESNO) == IDNO) return;
  CString text;
  {
    WaitCursor wait(owner);
    kx::capi::ListingScope scope;
    if (signature) text = SignerProblem(certificate, signature);
    if (text.IsEmpty()) {
      CBstrString message;
      PolicyVerdict(certificate, message);
      text = message.GetAnsi() ? message.GetAnsi() : "";
    }
  }
  owner->MessageBox(text, nullptr, MB_OK);
}

void ExportCertificateToFile(CWnd* owner, const CCapicomCertificate& certificate) {
  CFileDialog dialog(FALSE, "*.cer", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(205), owner);
  CString title = LoadResString(211);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  const CString path = dialog.GetPathName();
  try {
    CByteBuffer der = certificate.ExportToBuffer(CAPICOM_ENCODE_BINARY);
    if (!der.GetLength()) return;
    CWin32File file(path, der);
    const bool written = file.IsOpen() && SUCCEEDED(file.WriteAll());
    file.Close();
    owner->MessageBox(LoadResString(written ? 212 : 213), nullptr, MB_OK);
  } catch (const _com_error& e) {
    kx::ReportFailure(owner, "Certificate Export", kx::EngineText(e));
  }
}

bool ChooseCertificateFile(CWnd* owner, UINT titleId, CString& path) {
  CFileDialog dialog(TRUE, "*.cer", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(205), owner);
  CString title = LoadResString(titleId);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return false;
  path = dialog.GetPathName();
  return true;
}

void ShowAddressBookFor(CWnd* owner) {
  CAddressBook book;
  if (!book.LoadAddressBook(nullptr)) {
    owner->MessageBox(LoadResString(221), nullptr, MB_OK);
    return;
  }
  book.ShowAddressBook(owner->GetSafeHwnd(), 1);
}

void FindPeopleFor(CWnd* owner) {
  CAddressBook book;
  if (!book.LoadAddressBook(nullptr)) {
    owner->MessageBox(LoadResString(221), nullptr, MB_OK);
    return;
  }
  book.FindEntry(owner->GetSafeHwnd());
}

void StartCertificateStores() {
  CCryptUILibrary library;
  if (library.Load()) library.StartCertMgr();
}

void PrepareEngine(CCapicomObjectSet* objects, bool searchLocation) {
  if (!objects) return;
  objects->m_Settings.PutEnablePromptForCertificateUI(true);
  if (!searchLocation) return;
  CCertificateManagerSettings settings;
  settings.Load();
  objects->m_Settings.PutActiveDirectorySearchLocation(settings.SEARCH_GLOBAL_CATALOG ? CAPICOM_SEARCH_GLOBAL_CATALOG
                                                                                     : CAPICOM_SEARCH_DEFAULT_DOMAIN);
}

HRESULT OpenDirectoryStore(CWnd* page, CCapicomStore& store, const char* name) {
  // The search thread owns what it fills: after a Stop it ends by itself, and nobody reads it.
  auto answer = std::make_shared<kx::ldap::Answer>();
  const std::string storeName = name;
  const bool ended = kx::RunOffThread(page ? page->GetSafeHwnd() : nullptr, LoadResString(7387).GetString(),
                                      [answer, storeName](const std::atomic<bool>& stop) {
                                        *answer = kx::ldap::SearchAhead(storeName, &stop);
                                      });
  if (!ended) {
    store = CCapicomStore();  // nothing of an earlier search stays listed
    kx::ldap::SetLastDirectoryResult(kx::ldap::Status::Cancelled, LoadResString(7388).GetString());
    return kx::ldap::StatusResult(kx::ldap::Status::Cancelled);
  }
  kx::ldap::AnswerScope scope(*answer);
  return store.Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, name, CAPICOM_STORE_OPEN_READ_ONLY);
}

void ShowDirectoryStatus(CWnd* page, HRESULT openResult, INT_PTR found) {
  CWnd* label = page ? page->GetDlgItem(1065) : nullptr;
  if (!label) return;
  CString text;
  if (found < 0) {
    text = LoadResString(7381);
  } else if (FAILED(openResult) && kx::ldap::LastDirectoryStatus() == kx::ldap::Status::NotConfigured) {
    text = LoadResString(7382);
  } else if (FAILED(openResult)) {
    text = LoadResString(7383);
    text += kx::ldap::LastDirectoryMessage().c_str();
  } else if (found == 0) {
    text = LoadResString(7384);
  } else if (!kx::ldap::LastDirectoryMessage().empty()) {
    text = LoadResString(7385);
    text += kx::ldap::LastDirectoryMessage().c_str();
  }
  label->SetWindowText(text);
}

CString DateText(const CDateTime& date) {
  char text[255] = {};
  date.Format(text, sizeof text, 0, 0x400);
  return text;
}

CString InfoText(const CCapicomCertificate& certificate, LONG infoType) {
  CBstrString text = certificate.GetInfo(infoType);
  return text.GetAnsi() ? CString(text.GetAnsi()) : CString();
}

}  // namespace certmgr

using namespace certmgr;

IMPLEMENT_DYNAMIC(CCertListPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCertListPage, CPropertyPage)
  ON_BN_CLICKED(1012, OnView)
  ON_BN_CLICKED(1007, OnValidate)
  ON_BN_CLICKED(1009, OnImportPfx)
  ON_BN_CLICKED(1047, OnAddressBook)
  ON_BN_CLICKED(1055, OnFindPeople)
  ON_BN_CLICKED(1127, OnCertificateStores)
  ON_WM_DESTROY()
  ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

CCertListPage::CCertListPage(UINT templateId, std::initializer_list<ToolButton> buttons) : CPropertyPage(templateId) {
  for (const ToolButton& b : buttons)
    if (m_nButtons < kButtonSlots) m_ButtonTable[m_nButtons++] = b;
  m_List.m_bNoSort = FALSE;  // every certificate list is sorted by its first column
}

CCertListPage::~CCertListPage() { DeleteObjects(); }

void CCertListPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  for (int i = 0; i < m_nButtons; ++i) DDX_Control(pDX, m_ButtonTable[i].id, m_Buttons[i]);
  DDX_Control(pDX, 1033, m_List);
}

CCertSheet* CCertListPage::GetCertSheet() const { return dynamic_cast<CCertSheet*>(GetParent()); }

BOOL CCertListPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (!m_pObjects) {
    try {
      m_pObjects = new CCapicomObjectSet();
    } catch (const _com_error&) {
      m_pObjects = nullptr;  // without the engine the page lists nothing
    }
  }
  for (int i = 0; i < m_nButtons; ++i) SetUpToolButton(m_Buttons[i], m_ButtonTable[i].icon);
  m_List.SetFullRowDraw(TRUE);
  return TRUE;
}

void CCertListPage::DeleteObjects() {
  delete m_pObjects;
  m_pObjects = nullptr;
}

BOOL CCertListPage::DestroyWindow() {
  DeleteObjects();
  return CPropertyPage::DestroyWindow();
}

void CCertListPage::OnDestroy() {
  CPropertyPage::OnDestroy();
  DeleteObjects();
}

void CCertListPage::EnableControl(int id, BOOL enable) {
  if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
}

void CCertListPage::ShowControl(int id, BOOL show) {
  if (CWnd* control = GetDlgItem(id)) control->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

bool CCertListPage::IsControlVisible(int id) {
  CWnd* control = GetDlgItem(id);
  return control && control->IsWindowVisible();
}

bool CCertListPage::RowCertificate(int, CCapicomCertificate&) { return false; }

CCapicomCertificate CCertListPage::CurrentCertificate() const {
  return m_pObjects ? m_pObjects->m_Certificate : CCapicomCertificate(kx::engine::kEmpty);
}

void CCertListPage::ShowRows(const CCertificateRows& rows, const int (&widths)[4], const CStringList* headings) {
  CStringList standard;
  GetCertificateHeadings(standard);
  rows.Show(m_List, headings ? *headings : standard, true);
  for (int column = 0; column < 4; ++column) m_List.SetColumnWidth(column, widths[column]);
  m_List.SortItems(0, TRUE);
}

void CCertListPage::TakeRow(int row) {
  m_nSelectedRow = row;
  if (!m_pObjects) return;
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (RowCertificate(row, certificate)) m_pObjects->m_Certificate = certificate;
  } catch (const _com_error&) {
    // The row names no certificate the engine can read: the page keeps its previous one and View shows that.
  }
}

int CCertListPage::NewlySelected(NMHDR* header) {
  auto* n = reinterpret_cast<NMLISTVIEW*>(header);
  if (!(n->uChanged & LVIF_STATE)) return -1;
  if (!(n->uNewState & LVIS_SELECTED) || (n->uOldState & LVIS_SELECTED)) return -1;
  return n->iItem;
}

int CCertListPage::ActivatedItem(NMHDR* header) { return reinterpret_cast<NMITEMACTIVATE*>(header)->iItem; }

void CCertListPage::OnView() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (m_List.GetItemCount() > 0 && m_nSelectedRow >= 0 && RowCertificate(m_nSelectedRow, certificate))
      DisplayCertificate(certificate);
  } catch (const _com_error&) {
    // DisplayCertificate reports its own failure; a row the engine cannot read shows nothing.
  }
}

void CCertListPage::OnValidate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (m_nSelectedRow < 0 || !RowCertificate(m_nSelectedRow, certificate)) return;
  } catch (const _com_error&) {
    return;
  }
  ValidateAndTell(this, certificate);
}

void CCertListPage::OnImportPfx() {
  if (CCertSheet* sheet = GetCertSheet()) sheet->ImportCertificate();
}

void CCertListPage::OnAddressBook() { ShowAddressBookFor(this); }

void CCertListPage::OnFindPeople() { FindPeopleFor(this); }

void CCertListPage::OnCertificateStores() { StartCertificateStores(); }

void CCertListPage::OnWindowPosChanging(WINDOWPOS* pos) {
  CPropertyPage::OnWindowPosChanging(pos);
  KeepPageInTabs(this, pos);
}
