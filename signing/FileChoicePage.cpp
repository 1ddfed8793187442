// The welcome-page set-up and the file page shared by the signer, encryption and code-signing wizards.
#include "signing/FileChoicePage.h"

#include "app/ResString.h"
#include "controls/FileListDlg.h"
#include "controls/FolderBrowse.h"
#include "core/SystemProfile.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "signing/ProtectWizardData.h"

namespace {

enum {
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

const char kSupportAddress[] = "https://kesmora.example/support/";

void Enable(CWnd* page, int id, BOOL on) {
  if (CWnd* control = page->GetDlgItem(id)) control->EnableWindow(on);
}

}  // namespace

void kx::signing::SetUpWelcomePage(CLabelCtrl& title, CLabelCtrl& text, CHyperlinkCtrl& first,
                                   CHyperlinkCtrl& second, const char* productAddress) {
  for (CLabelCtrl* label : {&title, &text}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  first.UseParentBackground(TRUE);
  first.SetUrl(productAddress);
  second.UseParentBackground(TRUE);
  second.SetUrl(kSupportAddress);
}

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

IMPLEMENT_DYNAMIC(CFileChoicePageBase, CPropertyPage)

BEGIN_MESSAGE_MAP(CFileChoicePageBase, CPropertyPage)
  ON_BN_CLICKED(IDC_BROWSE_INPUT, OnBrowseInput)
  ON_BN_CLICKED(IDC_BROWSE_OUTPUT, OnBrowseOutput)
  ON_BN_CLICKED(IDC_SEVERAL_FILES, OnSeveralFiles)
  ON_BN_CLICKED(IDC_PROFILE_FOLDER, OnUseProfileFolder)
END_MESSAGE_MAP()

CFileChoicePageBase::CFileChoicePageBase(UINT idd) : CPropertyPage(idd, 0, 111, 106) {}

void CFileChoicePageBase::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_INPUT_CAPTION, m_lblInput);
  DDX_Control(pDX, IDC_OUTPUT_CAPTION, m_lblOutput);
  DDX_Check(pDX, IDC_PROFILE_FOLDER, m_bUseProfileFolder);
  DDX_Check(pDX, IDC_MAIL, m_bMailResults);
  DDX_Check(pDX, IDC_SEVERAL_FILES, m_bMultipleFiles);
  DDX_Text(pDX, IDC_OUTPUT_FOLDER, m_strOutputFolder);
  DDX_Text(pDX, IDC_FILE_PATH, m_strFilePath);
}

void CFileChoicePageBase::EnableControl(int id, BOOL on) { Enable(this, id, on); }

void CFileChoicePageBase::UpdateOutputFolderControls() {
  if (CSystemProfile* profile = SystemProfile()) ::UpdateOutputFolderControls(this, *profile, m_bUseProfileFolder);
}

void CFileChoicePageBase::OnUseProfileFolder() { UpdateOutputFolderControls(); }

void CFileChoicePageBase::PrepareControls(CProtectWizardData&) {
  if (!m_bVisited || m_bCountersignInput) {
    UpdateOutputFolderControls();
    OnSeveralFiles();
  }
}

CString CFileChoicePageBase::SeveralFilesText() { return LoadResString(417); }

BOOL CFileChoicePageBase::OnSetActive() {
  CProtectWizardData* data = WizardData();
  CPropertySheet* sheet = GetParentSheet();
  if (!data || !sheet) return CPropertyPage::OnSetActive();
  sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  m_bProtectedInput = data->m_nMode == 3 || data->m_nMode == 4;
  m_bCountersignInput = data->m_nMode == 3;
  PrepareControls(*data);
  if (PassesOn(*data)) return CPropertyPage::OnSetActive();
  if (data->m_bLaunchedByOperation) {
    m_strFilePath = data->m_arrInputFiles.GetSize() == 1 ? data->m_arrInputFiles[0] : SeveralFilesText();
    m_strOutputFolder = data->m_strOutputFolder;
    UpdateData(FALSE);
    sheet->SetWizardButtons(PSWIZB_NEXT);
  }
  return CPropertyPage::OnSetActive();
}

void CFileChoicePageBase::ShowListMode() {
  CWnd* browse = GetDlgItem(IDC_BROWSE_INPUT);
  if (m_bMultipleFiles) {
    if (browse) {
      browse->EnableWindow(TRUE);
      browse->SetWindowText(LoadResString(423));
    }
    m_strFilePath = LoadResString(417);
  } else {
    if (browse) browse->SetWindowText(LoadResString(424));
    // Only the several-files placeholder goes: a path typed before Back and Next again stays.
    if (m_strFilePath == LoadResString(417)) m_strFilePath.Empty();
  }
}

void CFileChoicePageBase::OnSeveralFiles() {
  CSystemProfile* profile = SystemProfile();
  if (!profile) return;
  UpdateData(TRUE);
  profile->Load();
  if (profile->EnableDirOperation == 0) {
    m_bMultipleFiles = FALSE;
    UpdateData(FALSE);
    EnableControl(IDC_SEVERAL_FILES, FALSE);
    return;
  }
  EnableControl(IDC_SEVERAL_FILES, TRUE);
  ShowListMode();
  UpdateData(FALSE);
}

CFileChoicePageBase::InputChoice CFileChoicePageBase::InputDialogs() { return {"*.*", 268, LoadResString(565), false}; }

void CFileChoicePageBase::OnBrowseInput() {
  UpdateData(TRUE);
  const InputChoice choice = InputDialogs();
  if (m_bMultipleFiles) {
    CFileListDlg list(this);
    list.m_astrFiles.Copy(m_arrFiles);
    list.m_bProtectedOnly = choice.protectedOnly;
    CWnd* button = GetDlgItem(IDC_BROWSE_INPUT);
    if (button && button->IsWindowVisible()) button->GetWindowRect(&list.m_rcZoom);
    if (list.DoModal() == IDOK && list.m_astrFiles.GetSize() > 0) {
      m_arrFiles.Copy(list.m_astrFiles);
      UpdateData(FALSE);
    }
    return;
  }
  m_arrFiles.RemoveAll();
  const CString filter = LoadResString(choice.filter);
  CFileDialog dialog(TRUE, choice.extension, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, this);
  dialog.m_ofn.lpstrTitle = choice.title;
  if (dialog.DoModal() != IDOK) return;
  m_strFilePath = dialog.GetPathName();
  UpdateData(FALSE);
  OnInputChosen();
}

CFileChoicePageBase::FolderChoice CFileChoicePageBase::OutputDialog() { return {LoadResString(454), "/"}; }

void CFileChoicePageBase::OnBrowseOutput() {
  UpdateData(TRUE);
  const FolderChoice choice = OutputDialog();
  CFolderBrowseDlg dialog;
  dialog.m_strInitialFolder = choice.start;
  dialog.m_strCaption = LoadResString(422);
  dialog.m_strTitle = choice.title;
  if (!dialog.DoModal(this) || dialog.m_strFolder.IsEmpty()) return;
  m_strOutputFolder = dialog.m_strFolder;
  UpdateData(FALSE);
  SetModified(TRUE);
}

void CFileChoicePageBase::StoreChoice(CProtectWizardData& data, bool withFiles) {
  if (withFiles) {
    if (m_bMultipleFiles) {
      data.m_arrInputFiles.Copy(m_arrFiles);
      data.m_bMultipleFiles = 1;
    } else {
      data.m_arrInputFiles.RemoveAll();
      data.m_arrInputFiles.Add(m_strFilePath);
      data.m_bMultipleFiles = 0;
    }
  }
  data.m_bMailResults = m_bMailResults ? 1 : 0;
  data.m_strOutputFolder = m_strOutputFolder;
  m_bVisited = 1;
}

LRESULT CFileChoicePageBase::OnWizardNext() {
  CProtectWizardData* data = WizardData();
  CSystemProfile* profile = SystemProfile();
  if (!data || !profile) return CPropertyPage::OnWizardNext();
  UpdateData(TRUE);
  if (m_bUseProfileFolder) m_strOutputFolder = profile->OutputFolder;
  // Opened by a host with its files: those files stand.
  const bool given = KeepsHostFiles() && data->m_bLaunchedByOperation && data->m_arrInputFiles.GetSize() > 1;
  if (!given && (m_bMultipleFiles ? m_arrFiles.GetSize() == 0 : m_strFilePath.IsEmpty())) {
    AfxMessageBox(LoadResString(418), MB_OK);
    return -1;
  }
  if (m_strOutputFolder.IsEmpty() && !m_bUseProfileFolder) {
    AfxMessageBox(LoadResString(419), MB_OK);
    return -1;
  }
  StoreChoice(*data, !given);
  return NextPage(*data);
}
