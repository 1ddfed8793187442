#include "signing/SummaryPages.h"

#include <memory>

#include "app/BrinmoorApp.h"
#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "certificates/CertPageTools.h"
#include "certificates/CertificateRows.h"
#include "certificates/SelTrustPointsSheet.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Win32File.h"
#include "engine/CapicomStore.h"
#include "formats/FileManager.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/usage.h"
#include "platform/mfc/afxwin.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/ScribbleView.h"
#include "signing/SignatureImage.h"
#include "signing/SummarySheet.h"

namespace {

enum {
  IDC_NAME = 209,
  IDC_REPORT = 213,
  IDC_DETAILS = 1007,
  IDC_SIGNERS = 1033,
  IDC_EXPORT = 1073,
  IDC_VALIDATE = 1007,
  IDC_VIEW = 1057,
  IDC_HELP_PAGE = 1129,
  IDC_ADDRESS_BOOK = 1050,
  IDC_PAD = 1067,
  IDC_HASH = 1123,
  IDC_TIME_STAMP = 1121
};

constexpr const char* kRule40 = "========================================\r\n";

CSummarySheet* SummarySheetOf(CPropertyPage* page) { return dynamic_cast<CSummarySheet*>(page->GetParentSheet()); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Main pages
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CSummaryMainPage, CPropertyPage)
IMPLEMENT_DYNCREATE(CMailSummaryMainPage, CSummaryMainPage)

BEGIN_MESSAGE_MAP(CSummaryMainPage, CPropertyPage)
  ON_BN_CLICKED(IDC_DETAILS, OnDetails)
  ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

CSummaryMainPage::CSummaryMainPage() : CSummaryMainPage(IDD, true) {}

CSummaryMainPage::CSummaryMainPage(UINT templateId, bool mailWording)
    : CPropertyPage(templateId), m_bMailWording(mailWording) {}

CMailSummaryMainPage::CMailSummaryMainPage() : CSummaryMainPage(IDD, false) { m_bMailMode = 1; }

CSummarySheet* CSummaryMainPage::Sheet() { return SummarySheetOf(this); }

void CSummaryMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 215, m_lblName);
  DDX_Control(pDX, 216, m_lblReport);
  DDX_Control(pDX, 1020, m_lblStatus);
  DDX_Control(pDX, 214, m_lblCaption);
  DDX_Text(pDX, IDC_NAME, m_strFileName);
  DDX_Text(pDX, IDC_REPORT, m_strReport);
}

BOOL CSummaryMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  CSummarySheet* sheet = Sheet();
  if (m_bMailWording) {
    m_bMailMode = sheet ? sheet->m_bMailMode : 0;
    if (m_bMailMode) {
      m_lblName.SetWindowText(LoadResString(527));
      m_lblReport.SetWindowText(LoadResString(382));
    }
  }
  const CString name = sheet ? sheet->LoadProtectedFile() : CString();
  if (!name.IsEmpty()) m_strFileName = m_bMailWording && m_bMailMode ? LoadResString(528) : name;

  CTolvexBinaryFile* file = sheet ? sheet->GetFile() : nullptr;
  bool details = file != nullptr;
  if (file) {
    const CString report = sheet->BuildReportText();
    if (!report.IsEmpty()) m_strReport = report;
    // An encrypted-only file has no signers to show.
    if (file->GetOptions()[0] == 0) details = false;
  }
  if (config.VerifySignatureOnly) details = false;
  if (CWnd* button = GetDlgItem(IDC_DETAILS)) button->EnableWindow(details);

  if (sheet && !sheet->m_strStatusText.IsEmpty()) {
    m_lblStatus.SetTextColor(RGB(255, 0, 0));
    m_lblStatus.SetWindowText(sheet->m_strStatusText);
  }
  UpdateData(FALSE);
  return TRUE;
}

void CSummaryMainPage::OnDetails() {
  if (CSummarySheet* sheet = Sheet()) sheet->ShowCertificateDetails();
}

void CSummaryMainPage::OnWindowPosChanging(WINDOWPOS* pos) {
  CPropertyPage::OnWindowPosChanging(pos);
  KeepPageInTabs(this, pos);
}

// ---------------------------------------------------------------------------------------------------------------
// List pages
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CSummaryListPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSummaryListPage, CPropertyPage)
  ON_BN_CLICKED(IDC_EXPORT, OnExportCertificate)
  ON_BN_CLICKED(IDC_VALIDATE, OnValidateCertificate)
  ON_BN_CLICKED(IDC_VIEW, OnViewCertificate)
  ON_BN_CLICKED(IDC_HELP_PAGE, OnHelp)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_SIGNERS, OnSignerChanged)
  ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

CSummaryListPage::CSummaryListPage(UINT templateId) : CPropertyPage(templateId) {}

CSummarySheet* CSummaryListPage::Sheet() { return SummarySheetOf(this); }

void CSummaryListPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SIGNERS, m_listSigners);
}

void CSummaryListPage::CollectSigners(std::vector<CCapicomCertificate>& certificates, std::vector<DWORD>& entries,
                                      std::vector<CString>& problems) {
  CSummarySheet* sheet = Sheet();
  if (!sheet || !sheet->GetFile()) return;
  for (const CSummarySigner& signer : sheet->GetVerifiedSigners(CSummarySheet::GetConfiguredLevel())) {
    certificates.push_back(signer.m_certificate);
    entries.push_back(signer.m_nEntry);
    problems.push_back(signer.m_problem);
  }
}

void CSummaryListPage::FillSigners() {
  m_listSigners.DeleteAllItems();
  m_signers.clear();
  m_entries.clear();
  m_problems.clear();
  std::vector<CCapicomCertificate> certificates;
  std::vector<DWORD> entries;
  std::vector<CString> problems;
  CollectSigners(certificates, entries, problems);
  CCertificateRows rows;
  for (size_t i = 0; i < certificates.size() && i < entries.size() && i < problems.size(); ++i) {
    try {
      // The mark is the signer's whole judgement: a weak signature is not marked good on a valid ID.
      rows.Add(certificates[i], problems[i].IsEmpty());
    } catch (const _com_error&) {
      // A certificate whose names cannot be read gives no row.
      continue;
    }
    m_signers.push_back(certificates[i]);
    m_entries.push_back(entries[i]);
    m_problems.push_back(problems[i]);
  }
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_listSigners, headings, true);
  const int widths[4] = {110, 150, 150, 150};
  for (int column = 0; column < 4; ++column) m_listSigners.SetColumnWidth(column, widths[column]);
  if (!m_signers.empty() && m_nSelected >= 0) {
    if (m_nSelected >= static_cast<int>(m_signers.size())) m_nSelected = 0;
    m_listSigners.SetItemState(m_nSelected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  m_listSigners.Invalidate();
  m_listSigners.SetFocus();
  ShowSignerDetails();
}

bool CSummaryListPage::SelectedCertificate(CCapicomCertificate& out) const {
  if (m_nSelected < 0 || m_nSelected >= static_cast<int>(m_signers.size())) return false;
  out = m_signers[m_nSelected];
  return true;
}

bool CSummaryListPage::SelectedEntry(PayloadEntry& out) {
  // The row's own entry: a signer that does not verify has no row, so rows and entries need not line up.
  CSummarySheet* sheet = Sheet();
  if (!sheet || m_nSelected < 0 || m_nSelected >= static_cast<int>(m_entries.size())) return false;
  return sheet->GetEntry(m_entries[m_nSelected], out);
}

CString CSummaryListPage::SelectedProblem() const {
  return m_nSelected >= 0 && m_nSelected < static_cast<int>(m_problems.size()) ? m_problems[m_nSelected] : CString();
}

void CSummaryListPage::OnSignerChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (change->iItem < 0 || !(change->uChanged & LVIF_STATE) || !(change->uNewState & LVIS_SELECTED)) return;
  m_nSelected = change->iItem;
  ShowSignerDetails();
}

void CSummaryListPage::OnExportCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (SelectedCertificate(certificate)) certmgr::ExportCertificateToFile(this, certificate);
}

void CSummaryListPage::OnValidateCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (!SelectedCertificate(certificate)) return;
  PayloadEntry entry;
  // A signature's signer is checked as its row judged it: the verdict and the strength of the signature.
  if (m_nSelected < static_cast<int>(m_problems.size()) && SelectedEntry(entry) && entry.m_buffers.GetCount() > 0) {
    const CByteBuffer signature = entry.m_buffers.GetAt(0);
    certmgr::ValidateAndTell(this, certificate, &signature);
  } else {
    certmgr::ValidateAndTell(this, certificate);
  }
}

void CSummaryListPage::OnViewCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (SelectedCertificate(certificate)) certmgr::DisplayCertificate(certificate);
}

void CSummaryListPage::OnHelp() {
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  CHtmlDialogBox page((app ? app->m_strModuleFolder : CString()) + "HELP/testimony.htm", FALSE, AfxGetMainWnd());
  page.DoModal();
}

void CSummaryListPage::OnWindowPosChanging(WINDOWPOS* pos) {
  CPropertyPage::OnWindowPosChanging(pos);
  KeepPageInTabs(this, pos);
}

// ---- general page ----

IMPLEMENT_DYNCREATE(CSummaryGenPage, CSummaryListPage)

CSummaryGenPage::CSummaryGenPage() : CSummaryListPage(IDD) {}

void CSummaryGenPage::DoDataExchange(CDataExchange* pDX) {
  CSummaryListPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1048, m_lblEntryA);
  DDX_Control(pDX, 1047, m_lblEntryB);
  DDX_Control(pDX, 1045, m_lblEntryC);
  DDX_Control(pDX, 1063, m_lblSigners);
  DDX_Text(pDX, 1044, m_strEntryA);
  DDX_Text(pDX, 1049, m_strEntryB);
  DDX_Text(pDX, 1046, m_strEntryC);
}

BOOL CSummaryGenPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_listSigners.SetFullRowDraw(TRUE);
  FillSigners();
  return TRUE;
}

void CSummaryGenPage::ShowSignerDetails() {
  PayloadEntry entry;
  if (!SelectedEntry(entry)) return;
  m_strEntryA = entry.m_strText3;
  m_strEntryB = entry.m_strText4;
  m_strEntryC = entry.m_strText5;
  UpdateData(FALSE);
}

// ---- signature page ----

IMPLEMENT_DYNCREATE(CSummarySignPage, CSummaryListPage)

BEGIN_MESSAGE_MAP(CSummarySignPage, CSummaryListPage)
  ON_NOTIFY(NM_DBLCLK, IDC_SIGNERS, OnSignerDblClk)
  ON_BN_CLICKED(IDC_ADDRESS_BOOK, OnAddToAddressBook)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CSummarySignPage::CSummarySignPage() : CSummaryListPage(IDD) {}

CSummarySignPage::~CSummarySignPage() { DeleteDrawing(); }

void CSummarySignPage::DoDataExchange(CDataExchange* pDX) {
  CSummaryListPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1125, m_lblImage);
  DDX_Control(pDX, 1124, m_lblTimeStamp);
  DDX_Control(pDX, 1063, m_lblSigners);
  DDX_Text(pDX, IDC_HASH, m_strHashInfo);
  DDX_Text(pDX, IDC_TIME_STAMP, m_strTimeStamp);
}

BOOL CSummarySignPage::OnInitDialog() {
  BeginWaitCursor();
  CPropertyPage::OnInitDialog();
  DeleteDrawing();
  m_pDocument = new COfficeTolvexDoc;
  m_pDocument->InitDocument();
  m_pView = new CScribbleView;
  // The pad only shows the signer's drawing.
  m_pView->m_bReadOnly = 1;
  if (m_pView->CreateInWindow(GetDlgItem(IDC_PAD), m_pDocument)) {
    m_pView->OnInitialUpdate();
  } else {
    delete m_pView;
    m_pView = nullptr;
  }
  m_listSigners.SetFullRowDraw(TRUE);
  FillSigners();
  EndWaitCursor();
  return TRUE;
}

void CSummarySignPage::ShowView(bool show) {
  if (m_pView && m_pView->GetSafeHwnd()) m_pView->ShowWindow(show ? SW_SHOW : SW_HIDE);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE | RDW_ALLCHILDREN);
}

bool CSummarySignPage::ShowDrawnSignature(const PayloadEntry& entry) {
  if (entry.m_bFlag != 1 || !entry.m_buffer1.GetLength() || !m_pView || !m_pDocument) return false;
  CFileManager files;
  std::unique_ptr<CBaseKesmoraFile> opened(files.OpenBuffer(entry.m_buffer1, true, nullptr));
  // Only a signature file carries a picture.
  auto* signature = dynamic_cast<CSignatureFile*>(opened.get());
  if (!signature || !signature->m_image.GetLength()) return false;
  const CString path = kx::signing::DrawingTempPath(kx::signing::kDrawnPicture);
  if (path.IsEmpty()) return false;
  kx::signing::RemoveDrawingTempFile(kx::signing::kDrawnPicture);
  CWin32File picture(path, signature->m_image);
  const bool written = picture.IsOpen() && SUCCEEDED(picture.WriteAll());
  picture.Close();
  if (!written) return false;
  m_pDocument->DeleteContents();
  const BOOL shown = m_pDocument->OpenImage(path, true);
  kx::signing::RemoveDrawingTempFile(kx::signing::kDrawnPicture);
  if (!shown) return false;
  ShowView(true);
  return true;
}

void CSummarySignPage::ShowSignerDetails() {
  PayloadEntry entry;
  const bool readable = SelectedEntry(entry);
  const bool drawn = readable && ShowDrawnSignature(entry);
  if (!drawn) ShowView(false);
  // The signature's own digest algorithm; SHA-1, the file's digest, when the signature cannot be read.
  std::string digest;
  if (readable && entry.m_buffers.GetCount() > 0) {
    const CByteBuffer signature = entry.m_buffers.GetAt(0);
    digest = kx::capi::SignatureDigestName(signature.GetData(), signature.GetLength());
  }
  if (digest.empty()) digest = "SHA-1";
  m_strHashInfo = CString(kRule40) + LoadResString(515) + "\r\n" + LoadResString(516) + ": " + digest.c_str() +
                  "\r\n" + kRule40;
  m_strTimeStamp = readable && entry.m_head.m_bFlag ? entry.m_head.m_strDate : NoTimeStampText();
  // Said of the signer's drawn signature itself, whatever its time stamp.
  if (!drawn) m_strHashInfo += "No Hand Drawn Signature was specified\r\n";
  const CString problem = SelectedProblem();
  if (!problem.IsEmpty()) m_strHashInfo += problem + "\r\n";
  UpdateData(FALSE);
}

CString CSummarySignPage::NoTimeStampText() const { return "No Time Stamp was specified"; }

void CSummarySignPage::OnSignerDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  const int item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  if (item < 0) return;
  if (item != m_nSelected) {
    m_nSelected = item;
    ShowSignerDetails();
  }
  OnViewCertificate();
}

void CSummarySignPage::OnAddToAddressBook() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (!SelectedCertificate(certificate)) return;
  try {
    CCapicomStore store;
    if (store.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE) == S_OK) store.Add(certificate);
  } catch (const _com_error&) {
    // Nothing is said either way.
  }
}

void CSummarySignPage::DeleteDrawing() {
  if (m_pView) {
    CScribbleView* view = m_pView;
    m_pView = nullptr;
    // A view with a window deletes itself when the window goes.
    if (view->GetSafeHwnd()) view->DestroyWindow();
    else delete view;
  }
  if (m_pDocument) {
    m_pDocument->DeleteContents();
    delete m_pDocument;
    m_pDocument = nullptr;
  }
}

void CSummarySignPage::OnDestroy() {
  DeleteDrawing();
  CPropertyPage::OnDestroy();
}
