#include "archives/CodeSignWizard.h"

#include <sys/stat.h>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "controls/FileListDlg.h"
#include "controls/FolderBrowse.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "signing/SignerPages.h"

namespace {

enum {
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_PRODUCT = 1059,
  IDC_LINK_SUPPORT = 1275,
  IDC_OPERATION = 1196,
  IDC_FILE_CAPTION = 1060,
  IDC_FILE_PATH = 1031,
  IDC_BROWSE_FILES = 1008,
  IDC_SEVERAL_FILES = 1036,
  IDC_OUTPUT_CAPTION = 1037,
  IDC_OUTPUT_FOLDER = 1032,
  IDC_BROWSE_OUTPUT = 1009,
  IDC_PROFILE_FOLDER = 1035,
  IDC_MAIL_RESULTS = 1029
};

const char kProductAddress[] = "https://kesmora.example/office-tolvex/";
const char kSupportAddress[] = "https://kesmora.example/support/";

void Enable(CWnd* page, int id, BOOL on) {
  if (CWnd* w = page->GetDlgItem(id)) w->EnableWindow(on);
}

bool IsFolder(const CString& path) {
  struct stat st {};
  return !path.IsEmpty() && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// ---- the sheet ----

IMPLEMENT_DYNAMIC(CCodeSignWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CCodeSignWizard, SHEET_CLASS(CBaseSheet), "Code Signer Wizard", 1, 1133, 1132)

CCodeSignWizard::CCodeSignWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 111;
}

CCodeSignWizard::~CCodeSignWizard() { m_Worker.Wait(); }

BOOL CCodeSignWizard::AddPages() {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  CPropertyPage* pages[] = {&m_MainPage, &m_FileSel, &m_SignPage, &m_FinalPage, &m_FinishPage};
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(128) : nullptr;
  const CString tabTitle = LoadResString(5273);
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(tabTitle);
  }
  return TRUE;
}

// ---- page 0 ----

IMPLEMENT_DYNCREATE(CCodeMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCodeMainPage, CPropertyPage)
END_MESSAGE_MAP()

CCodeMainPage::CCodeMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CCodeMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_PRODUCT, m_lnkProduct);
  DDX_Control(pDX, IDC_LINK_SUPPORT, m_lnkSupport);
  DDX_Radio(pDX, IDC_OPERATION, m_nOperation);
}

BOOL CCodeMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblText}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  m_lnkProduct.UseParentBackground(TRUE);
  m_lnkProduct.SetUrl(kProductAddress);
  m_lnkSupport.UseParentBackground(TRUE);
  m_lnkSupport.SetUrl(kSupportAddress);
  return TRUE;
}

LRESULT CCodeMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (auto* sheet = dynamic_cast<CCodeSignWizard*>(GetParentSheet()))
    sheet->m_WizardData.m_nMode = m_nOperation == 1 ? 4 : 1;
  return CPropertyPage::OnWizardNext();
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(CCodeFileSel, CPropertyPage)

BEGIN_MESSAGE_MAP(CCodeFileSel, CPropertyPage)
  ON_BN_CLICKED(IDC_SEVERAL_FILES, OnSeveralFiles)
  ON_BN_CLICKED(IDC_BROWSE_FILES, OnBrowseFiles)
  ON_BN_CLICKED(IDC_BROWSE_OUTPUT, OnBrowseOutput)
  ON_BN_CLICKED(IDC_PROFILE_FOLDER, OnUseProfileFolder)
END_MESSAGE_MAP()

CCodeFileSel::CCodeFileSel() : CPropertyPage(IDD, 0, 111, 106) {}

CCodeSignWizard* CCodeFileSel::Sheet() { return dynamic_cast<CCodeSignWizard*>(GetParentSheet()); }

void CCodeFileSel::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_FILE_CAPTION, m_lblFile);
  DDX_Control(pDX, IDC_OUTPUT_CAPTION, m_lblOutput);
  DDX_Text(pDX, IDC_FILE_PATH, m_strFilePath);
  DDX_Text(pDX, IDC_OUTPUT_FOLDER, m_strOutputFolder);
  DDX_Check(pDX, IDC_SEVERAL_FILES, m_bMultipleFiles);
  DDX_Check(pDX, IDC_PROFILE_FOLDER, m_bUseProfileFolder);
  DDX_Check(pDX, IDC_MAIL_RESULTS, m_bMailResults);
}

void CCodeFileSel::UpdateOutputFolderControls() {
  if (CCodeSignWizard* sheet = Sheet()) ::UpdateOutputFolderControls(this, sheet->m_SystemProfile, m_bUseProfileFolder);
}

void CCodeFileSel::OnUseProfileFolder() { UpdateOutputFolderControls(); }

BOOL CCodeFileSel::OnSetActive() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnSetActive();
  sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  CProtectWizardData& data = sheet->m_WizardData;
  if (!m_bStarted) OnSeveralFiles();
  if (data.m_nMode != 4) {
    Enable(this, IDC_MAIL_RESULTS, TRUE);
    // Also after a visit in verify mode, whatever the started flag.
    UpdateOutputFolderControls();
  } else {
    for (int id : {IDC_PROFILE_FOLDER, IDC_MAIL_RESULTS, IDC_OUTPUT_FOLDER, IDC_OUTPUT_CAPTION, IDC_BROWSE_OUTPUT})
      Enable(this, id, FALSE);
  }
  if (data.m_bLaunchedByOperation) {
    m_strFilePath = data.m_arrInputFiles.GetSize() != 1 ? LoadResString(417) : data.m_arrInputFiles[0];
    m_strOutputFolder = data.m_strOutputFolder;
    UpdateData(FALSE);
    sheet->SetWizardButtons(PSWIZB_NEXT);
  }
  return CPropertyPage::OnSetActive();
}

void CCodeFileSel::OnSeveralFiles() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet) return;
  UpdateData(TRUE);
  sheet->m_SystemProfile.Load();
  CWnd* browse = GetDlgItem(IDC_BROWSE_FILES);
  if (!sheet->m_SystemProfile.EnableDirOperation) {
    m_bMultipleFiles = FALSE;
    Enable(this, IDC_SEVERAL_FILES, FALSE);
  } else {
    Enable(this, IDC_SEVERAL_FILES, TRUE);
  }
  if (m_bMultipleFiles) {
    if (browse) {
      browse->EnableWindow(TRUE);
      browse->SetWindowText(LoadResString(423));
    }
    m_strFilePath = LoadResString(417);
  } else {
    if (browse) browse->SetWindowText(LoadResString(424));
    m_strFilePath.Empty();
  }
  // In list mode the path field only says that a list is used.
  if (CWnd* edit = GetDlgItem(IDC_FILE_PATH)) edit->SendMessage(EM_SETREADONLY, m_bMultipleFiles ? TRUE : FALSE);
  UpdateData(FALSE);
}

void CCodeFileSel::OnBrowseFiles() {
  UpdateData(TRUE);
  CWnd* button = GetDlgItem(IDC_BROWSE_FILES);
  if (m_bMultipleFiles) {
    CFileListDlg list(this);
    list.m_astrFiles.Copy(m_arrFiles);
    list.m_bProtectedOnly = false;
    if (button) button->GetWindowRect(&list.m_rcZoom);
    if (list.DoModal() == IDOK && list.m_astrFiles.GetSize() > 0) m_arrFiles.Copy(list.m_astrFiles);
    return;
  }
  const CString filter = LoadResString(268);
  const CString title = LoadResString(565);
  CFileDialog dialog(TRUE, "*.*", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, this);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strFilePath = dialog.GetPathName();
  UpdateData(FALSE);
}

void CCodeFileSel::OnBrowseOutput() {
  UpdateData(TRUE);
  CFolderBrowseDlg browser;
  browser.m_strInitialFolder = IsFolder(m_strOutputFolder) ? m_strOutputFolder : CString("/");
  browser.m_strCaption = LoadResString(422);
  browser.m_strTitle = LoadResString(454);
  if (!browser.DoModal(this) || browser.m_strFolder.IsEmpty()) return;
  m_strOutputFolder = browser.m_strFolder;
  UpdateData(FALSE);
  SetModified();
}

LRESULT CCodeFileSel::OnWizardNext() {
  CCodeSignWizard* sheet = Sheet();
  if (!sheet || !UpdateData(TRUE)) return -1;
  CProtectWizardData& data = sheet->m_WizardData;
  // The profile's folder counts only while the profile offers one (the box may have stayed ticked).
  sheet->m_SystemProfile.Load();
  if (m_bUseProfileFolder && sheet->m_SystemProfile.OutputOption == 1 && !sheet->m_SystemProfile.OutputFolder.IsEmpty())
    m_strOutputFolder = sheet->m_SystemProfile.OutputFolder;
  CString typed = m_strFilePath;
  typed.Trim();
  if (m_bMultipleFiles ? m_arrFiles.GetSize() == 0 : typed.IsEmpty()) {
    AfxMessageBox(LoadResString(418), MB_OK);
    return -1;
  }
  // The signed copies need a folder that exists, wherever its name came from.
  if (data.m_nMode != 4 && !IsFolder(m_strOutputFolder)) {
    AfxMessageBox(LoadResString(419), MB_OK);
    return -1;
  }
  if (m_bMultipleFiles) {
    data.m_arrInputFiles.Copy(m_arrFiles);
    data.m_bMultipleFiles = 1;
  } else {
    data.m_arrInputFiles.RemoveAll();
    data.m_arrInputFiles.Add(m_strFilePath);
    data.m_bMultipleFiles = 0;
  }
  data.m_bMailResults = m_bMailResults ? 1 : 0;
  data.m_strOutputFolder = m_strOutputFolder;
  m_bStarted = 1;
  // Verification needs no signer: straight on to the results page.
  if (data.m_nMode == 4) return CCodeFinalPage::IDD;
  return CPropertyPage::OnWizardNext();
}
