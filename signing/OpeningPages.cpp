// The welcome page and the file page of the Signer Wizard.
#include <memory>

#include "app/ResString.h"
#include "controls/FileListDlg.h"
#include "controls/FolderBrowse.h"
#include "core/OfficeTolvexConfig.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "signing/SignSheet.h"
#include "signing/SignerPages.h"

namespace {

enum {
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_FIRST = 1059,
  IDC_LINK_SECOND = 1275,
  IDC_FIRST_OPERATION = 1022,
  IDC_INPUT_CAPTION = 1060,
  IDC_OUTPUT_CAPTION = 1037,
  IDC_PROFILE_FOLDER = 1035,
  IDC_MAIL = 1029,
  IDC_SEVERAL_FILES = 1036,
  IDC_OUTPUT_FOLDER = 1032,
  IDC_FILE_PATH = 1031,
  IDC_BROWSE_INPUT = 1008,
  IDC_BROWSE_OUTPUT = 1009
};

const char kProductAddress[] = "https://kesmora.example/office-tolvex/";
const char kSupportAddress[] = "https://kesmora.example/support/";

void Enable(CWnd* page, int id, BOOL on) {
  if (CWnd* control = page->GetDlgItem(id)) control->EnableWindow(on);
}

}  // namespace

// ---- page 0 ----

IMPLEMENT_DYNCREATE(CPWMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWMainPage, CPropertyPage)
END_MESSAGE_MAP()

CPWMainPage::CPWMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CPWMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_FIRST, m_linkFirst);
  DDX_Control(pDX, IDC_LINK_SECOND, m_linkSecond);
  DDX_Radio(pDX, IDC_FIRST_OPERATION, m_nOperation);
}

BOOL CPWMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  m_nOperation = config.TargetFileDefaultOperation == 0 ? 4 : 1;
  m_lblText.UseParentBackground();
  m_lblText.SetFontBold(TRUE);
  m_linkFirst.UseParentBackground(TRUE);
  m_linkFirst.SetUrl(kProductAddress);
  m_linkSecond.UseParentBackground(TRUE);
  m_linkSecond.SetUrl(kSupportAddress);
  m_lblTitle.UseParentBackground();
  m_lblTitle.SetFontBold(TRUE);
  UpdateData(FALSE);
  return TRUE;
}

BOOL CPWMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CPWMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet())) sheet->m_WizardData.m_nMode = m_nOperation;
  return CPropertyPage::OnWizardNext();
}

// ---- the output-folder controls ----

void UpdateOutputFolderControls(CWnd* page, CSystemProfile& profile, const BOOL& useProfileFolder) {
  page->UpdateData(TRUE);
  profile.Load();
  const BOOL usable = profile.OutputOption == 1 && !profile.OutputFolder.IsEmpty();
  page->UpdateData(FALSE);
  Enable(page, IDC_PROFILE_FOLDER, usable);
  // The page's own folder is given unless the profile's is taken.
  const BOOL own = !usable || !useProfileFolder;
  Enable(page, IDC_BROWSE_OUTPUT, own);
  Enable(page, IDC_OUTPUT_CAPTION, own);
  Enable(page, IDC_OUTPUT_FOLDER, own);
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(CPWInitialPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWInitialPage, CPropertyPage)
  ON_BN_CLICKED(IDC_BROWSE_INPUT, OnBrowseInput)
  ON_BN_CLICKED(IDC_BROWSE_OUTPUT, OnBrowseOutput)
  ON_BN_CLICKED(IDC_SEVERAL_FILES, OnSeveralFiles)
  ON_BN_CLICKED(IDC_PROFILE_FOLDER, OnUseProfileFolder)
END_MESSAGE_MAP()

CPWInitialPage::CPWInitialPage() : CPropertyPage(IDD, 0, 111, 106) {}

CSignSheet* CPWInitialPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

void CPWInitialPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_INPUT_CAPTION, m_lblInput);
  DDX_Control(pDX, IDC_OUTPUT_CAPTION, m_lblOutput);
  DDX_Check(pDX, IDC_PROFILE_FOLDER, m_bUseProfileFolder);
  DDX_Check(pDX, IDC_MAIL, m_bMailResults);
  DDX_Check(pDX, IDC_SEVERAL_FILES, m_bMultipleFiles);
  DDX_Text(pDX, IDC_OUTPUT_FOLDER, m_strOutputFolder);
  DDX_Text(pDX, IDC_FILE_PATH, m_strFilePath);
}

void CPWInitialPage::OnUseProfileFolder() {
  if (CSignSheet* sheet = Sheet()) UpdateOutputFolderControls(this, sheet->m_SystemProfile, m_bUseProfileFolder);
}

BOOL CPWInitialPage::OnSetActive() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnSetActive();
  sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  CProtectWizardData& data = sheet->m_WizardData;
  m_bProtectedInput = data.m_nMode == 3 || data.m_nMode == 4;
  m_bCountersignInput = data.m_nMode == 3;
  if (!m_bVisited || m_bCountersignInput) {
    UpdateOutputFolderControls(this, sheet->m_SystemProfile, m_bUseProfileFolder);
    OnSeveralFiles();
  }
  if (sheet->IsOneClick()) {
    // The preset wizard takes no files: on by the operation.
    const int mode = data.m_nMode;
    int place = -1;
    if (mode == 1 || mode == 2 || mode == 3) place = CSignSheet::kSignersPage;
    else if (mode == 4) place = CSignSheet::kProcessingPage;
    else place = CSignSheet::kCipherPage;
    CPropertyPage* target = sheet->GetWizardPage(place);
    sheet->PostMessage(PSM_SETCURSEL, static_cast<WPARAM>(sheet->GetPageIndex(target)), 0);
    return CPropertyPage::OnSetActive();
  }
  if (data.m_bLaunchedByOperation) {
    m_strFilePath = data.m_arrInputFiles.GetSize() == 1 ? data.m_arrInputFiles[0] : LoadResString(417);
    m_strOutputFolder = data.m_strOutputFolder;
    UpdateData(FALSE);
    sheet->SetWizardButtons(PSWIZB_NEXT);
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CPWInitialPage::OnWizardNext() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  UpdateData(TRUE);
  if (m_bUseProfileFolder) m_strOutputFolder = sheet->m_SystemProfile.OutputFolder;
  CProtectWizardData& data = sheet->m_WizardData;
  // Opened by a host with its files: those files stand.
  const bool given = data.m_bLaunchedByOperation && data.m_arrInputFiles.GetSize() > 1;
  if (!given && ((!m_bMultipleFiles && m_strFilePath.IsEmpty()) || (m_bMultipleFiles && m_arrFiles.GetSize() == 0))) {
    AfxMessageBox(LoadResString(418), MB_OK);
    return -1;
  }
  if (m_strOutputFolder.IsEmpty() && !m_bUseProfileFolder) {
    AfxMessageBox(LoadResString(419), MB_OK);
    return -1;
  }
  if (!given) {
    data.m_arrInputFiles.RemoveAll();
    if (m_bMultipleFiles) {
      data.m_bMultipleFiles = 1;
      for (int i = 0; i < m_arrFiles.GetSize(); ++i) data.m_arrInputFiles.Add(m_arrFiles[i]);
    } else {
      data.m_arrInputFiles.Add(m_strFilePath);
      data.m_bMultipleFiles = 0;
    }
  }
  data.m_bMailResults = m_bMailResults ? 1 : 0;
  data.m_strOutputFolder = m_strOutputFolder;
  m_bVisited = 1;
  switch (data.m_nMode) {
    case 1:
    case 2:
    case 3: sheet->GoToPage(CSignSheet::kSignersPage); return -1;
    case 4: sheet->GoToPage(CSignSheet::kProcessingPage); return -1;
    default: sheet->GoToPage(CSignSheet::kCipherPage); return -1;
  }
}

void CPWInitialPage::OnSeveralFiles() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return;
  UpdateData(TRUE);
  sheet->m_SystemProfile.Load();
  CWnd* several = GetDlgItem(IDC_SEVERAL_FILES);
  if (sheet->m_SystemProfile.EnableDirOperation == 0) {
    m_bMultipleFiles = FALSE;
    UpdateData(FALSE);
    if (several) several->EnableWindow(FALSE);
    return;
  }
  if (several) several->EnableWindow(TRUE);
  CWnd* browse = GetDlgItem(IDC_BROWSE_INPUT);
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
  UpdateData(FALSE);
}

void CPWInitialPage::OnBrowseInput() {
  UpdateData(TRUE);
  const char* extension = m_bProtectedInput ? "*.tvx" : "*.*";
  const CString filter = LoadResString(m_bProtectedInput ? 269 : 268);
  if (!m_bMultipleFiles) {
    m_arrFiles.RemoveAll();
    CFileDialog dialog(TRUE, extension, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, this);
    dialog.m_ofn.lpstrTitle = "Select File";
    if (dialog.DoModal() != IDOK) return;
    m_strFilePath = dialog.GetPathName();
    UpdateData(FALSE);
    if (m_bCountersignInput) CheckCountersignInput();
    return;
  }
  CFileListDlg list(this);
  for (int i = 0; i < m_arrFiles.GetSize(); ++i) list.m_astrFiles.Add(m_arrFiles[i]);
  list.m_bProtectedOnly = m_bProtectedInput != 0;
  if (CWnd* button = GetDlgItem(IDC_BROWSE_INPUT)) button->GetWindowRect(&list.m_rcZoom);
  if (list.DoModal() == IDOK && list.m_astrFiles.GetSize() > 0) {
    m_arrFiles.RemoveAll();
    for (int i = 0; i < list.m_astrFiles.GetSize(); ++i) m_arrFiles.Add(list.m_astrFiles[i]);
    UpdateData(FALSE);
  }
}

void CPWInitialPage::CheckCountersignInput() {
  CFileManager files;
  std::unique_ptr<CFileStream> stream(files.OpenStream(m_strFilePath));
  std::unique_ptr<CBaseKesmoraFile> object(stream && stream->IsOpen() ? stream->ReadFileObject() : nullptr);
  auto* file = dynamic_cast<CTolvexBinaryFile*>(object.get());
  UINT refusal = 0;
  if (!file || !file->m_info.m_signing.m_bPresent) refusal = 420;
  else if (file->m_info.m_encryption.m_bPresent) refusal = 421;
  object.reset();
  stream.reset();
  files.Reset();
  if (!refusal) return;
  AfxMessageBox(LoadResString(refusal), MB_OK);
  m_strFilePath.Empty();
  UpdateData(FALSE);
}

void CPWInitialPage::OnBrowseOutput() {
  UpdateData(TRUE);
  CFolderBrowseDlg dialog;
  dialog.m_strInitialFolder = "/";
  dialog.m_strCaption = LoadResString(422);
  dialog.m_strTitle = "Select directory:";
  if (!dialog.DoModal(this)) return;
  m_strOutputFolder = dialog.m_strFolder;
  UpdateData(FALSE);
  SetModified(TRUE);
}
