#include "archives/CodeSignWizard.h"

#include <sys/stat.h>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "platform/mfc/afxwin.h"

namespace {

enum {
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_PRODUCT = 1059,
  IDC_LINK_SUPPORT = 1275,
  IDC_OPERATION = 1196,
  IDC_FILE_PATH = 1031,
  IDC_SEVERAL_FILES = 1036,
  IDC_OUTPUT_CAPTION = 1037,
  IDC_OUTPUT_FOLDER = 1032,
  IDC_BROWSE_OUTPUT = 1009,
  IDC_PROFILE_FOLDER = 1035,
  IDC_MAIL_RESULTS = 1029
};

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

CCodeSignWizard::~CCodeSignWizard() { m_Worker.End(); }

BOOL CCodeSignWizard::AddPages() {
  AddWizardTabPages({&m_MainPage, &m_FileSel, &m_SignPage, &m_FinalPage, &m_FinishPage}, 128, LoadResString(5273));
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
  kx::signing::SetUpWelcomePage(m_lblTitle, m_lblText, m_lnkProduct, m_lnkSupport);
  return TRUE;
}

LRESULT CCodeMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (auto* sheet = dynamic_cast<CCodeSignWizard*>(GetParentSheet()))
    sheet->m_WizardData.m_nMode = m_nOperation == 1 ? 4 : 1;
  return CPropertyPage::OnWizardNext();
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(CCodeFileSel, CFileChoicePageBase)

CCodeFileSel::CCodeFileSel() : CFileChoicePageBase(IDD) {}

CCodeSignWizard* CCodeFileSel::Sheet() { return dynamic_cast<CCodeSignWizard*>(GetParentSheet()); }

CProtectWizardData* CCodeFileSel::WizardData() {
  CCodeSignWizard* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CSystemProfile* CCodeFileSel::SystemProfile() {
  CCodeSignWizard* sheet = Sheet();
  return sheet ? &sheet->m_SystemProfile : nullptr;
}

void CCodeFileSel::PrepareControls(CProtectWizardData& data) {
  if (!m_bVisited) OnSeveralFiles();
  if (data.m_nMode != 4) {
    EnableControl(IDC_MAIL_RESULTS, TRUE);
    // Also after a visit in verify mode, whatever the visited flag.
    UpdateOutputFolderControls();
  } else {
    for (int id : {IDC_PROFILE_FOLDER, IDC_MAIL_RESULTS, IDC_OUTPUT_FOLDER, IDC_OUTPUT_CAPTION, IDC_BROWSE_OUTPUT})
      EnableControl(id, FALSE);
  }
}

void CCodeFileSel::OnSeveralFiles() {
  CSystemProfile* profile = SystemProfile();
  if (!profile) return;
  UpdateData(TRUE);
  profile->Load();
  // Without lists the page still shows single-file mode afresh.
  if (!profile->EnableDirOperation) m_bMultipleFiles = FALSE;
  EnableControl(IDC_SEVERAL_FILES, profile->EnableDirOperation ? TRUE : FALSE);
  ShowListMode();
  // In list mode the path field only says that a list is used.
  if (CWnd* edit = GetDlgItem(IDC_FILE_PATH)) edit->SendMessage(EM_SETREADONLY, m_bMultipleFiles ? TRUE : FALSE);
  UpdateData(FALSE);
}

CFileChoicePageBase::FolderChoice CCodeFileSel::OutputDialog() {
  return {LoadResString(454), IsFolder(m_strOutputFolder) ? m_strOutputFolder : CString("/")};
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
  StoreChoice(data);
  // Verification needs no signer: straight on to the results page.
  if (data.m_nMode == 4) return CCodeFinalPage::IDD;
  return CPropertyPage::OnWizardNext();
}
