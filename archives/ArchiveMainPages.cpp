// The archive wizard's welcome page and task page.
#include <memory>

#include "app/ResString.h"
#include "archives/ArchiveSheet.h"
#include "controls/FolderBrowse.h"
#include "core/SystemProfile.h"
#include "encryption/OneClickSelectDialog.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxdlgs.h"

namespace {

enum {
  IDC_TASK = 1132,
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_FIRST_PATH = 1031,
  IDC_SECOND_PATH = 1032,
  IDC_OPERATION = 1067,
  IDC_CHECK_1036 = 1036,
  IDC_PROFILE_FOLDER = 1035,
  IDC_CHECK_1138 = 1138,
  IDC_CHOOSE = 1008,
  IDC_BROWSE = 1009,
  IDC_LABEL_PRESET = 1141,
  IDC_LABEL_ARCHIVE = 1140,
  IDC_LABEL_OPERATION = 1139,
  IDC_LABEL_OUTPUT = 1060,
  IDC_LABEL_DESTINATION = 1037,
};

// The operation list: encrypt, sign, sign and encrypt (the wizard's modes 0 to 2).
const char* const kOperations[] = {"Encrypt the archive", "Sign the archive", "Sign and encrypt the archive"};

}  // namespace

// ---- welcome page ----

IMPLEMENT_DYNCREATE(CArchiveMainPage, CPropertyPage)

CArchiveMainPage::CArchiveMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

CArchiveSheet* CArchiveMainPage::Sheet() { return dynamic_cast<CArchiveSheet*>(GetParentSheet()); }

void CArchiveMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Radio(pDX, IDC_TASK, m_nTask);
}

BOOL CArchiveMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblText}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  return TRUE;
}

BOOL CArchiveMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CArchiveMainPage::OnWizardNext() {
  CArchiveSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  UpdateData(TRUE);
  CArchiveWizardData& data = sheet->m_Data;
  if (m_nTask != m_nLastTask) data.m_nReloadPending = 1;
  data.m_nTask = m_nTask;
  data.m_bConfirmed = 1;
  m_nLastTask = m_nTask;
  sheet->SetActivePage(CArchiveSheet::kSelectionPage);
  return -1;
}

// ---- task page ----

IMPLEMENT_DYNCREATE(CArchiveSelPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CArchiveSelPage, CPropertyPage)
  ON_BN_CLICKED(IDC_PROFILE_FOLDER, OnUseProfileFolder)
  ON_CBN_SELCHANGE(IDC_OPERATION, OnOperationChanged)
  ON_BN_CLICKED(IDC_CHECK_1036, OnCheckChanged)
  ON_BN_CLICKED(IDC_CHECK_1138, OnCheckChanged)
  ON_BN_CLICKED(IDC_CHOOSE, OnChoose)
  ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
END_MESSAGE_MAP()

CArchiveSelPage::CArchiveSelPage() : CPropertyPage(IDD, 0, 148, 149) {}

CArchiveSheet* CArchiveSelPage::Sheet() { return dynamic_cast<CArchiveSheet*>(GetParentSheet()); }

bool CArchiveSelPage::IsOpenMode() {
  CArchiveSheet* sheet = Sheet();
  return sheet && sheet->m_Data.m_nTask == 1;
}

void CArchiveSelPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LABEL_PRESET, m_lblPreset);
  DDX_Control(pDX, IDC_LABEL_ARCHIVE, m_lblArchive);
  DDX_Control(pDX, IDC_LABEL_OPERATION, m_lblOperation);
  DDX_Control(pDX, IDC_LABEL_OUTPUT, m_lblOutput);
  DDX_Control(pDX, IDC_LABEL_DESTINATION, m_lblDestination);
  DDX_Text(pDX, IDC_FIRST_PATH, m_strFirstPath);
  DDX_Text(pDX, IDC_SECOND_PATH, m_strSecondPath);
  DDX_CBIndex(pDX, IDC_OPERATION, m_nOperation);
  DDX_Check(pDX, IDC_CHECK_1036, m_bCheck1036);
  DDX_Check(pDX, IDC_PROFILE_FOLDER, m_bUseProfileFolder);
  DDX_Check(pDX, IDC_CHECK_1138, m_bCheck1138);
}

BOOL CArchiveSelPage::OnInitDialog() {
  if (auto* list = static_cast<CComboBox*>(GetDlgItem(IDC_OPERATION))) {
    for (const char* text : kOperations) list->AddString(text);
  }
  CPropertyPage::OnInitDialog();
  return TRUE;
}

void CArchiveSelPage::ShowControl(int id, bool show) {
  if (CWnd* w = GetDlgItem(id)) w->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CArchiveSelPage::EnableControl(int id, bool enable) {
  if (CWnd* w = GetDlgItem(id)) w->EnableWindow(enable ? TRUE : FALSE);
}

BOOL CArchiveSelPage::OnSetActive() {
  CArchiveSheet* sheet = Sheet();
  UpdateData(TRUE);
  if (sheet && sheet->m_Data.m_nReloadPending) {
    m_strFirstPath.Empty();
    m_strSecondPath.Empty();
    m_nOperation = 0;
    m_bCheck1036 = 1;
    m_bUseProfileFolder = 0;
    m_bCheck1138 = 1;
    m_strPresetPath.Empty();
    sheet->m_Data.m_nReloadPending = 0;
    UpdateData(FALSE);
  }
  EnableControl(IDC_CHOOSE, true);
  ShowControl(IDC_LABEL_OUTPUT, true);
  EnableControl(IDC_LABEL_OPERATION, true);
  EnableControl(IDC_OPERATION, true);
  ShowControl(IDC_LABEL_ARCHIVE, false);
  ShowControl(IDC_LABEL_PRESET, true);
  ShowControl(IDC_LABEL_DESTINATION, false);
  ShowControl(IDC_PROFILE_FOLDER, false);
  EnableControl(IDC_CHECK_1036, true);
  if (IsOpenMode()) {
    // The archive is typed or chosen here; a preset plays no part.
    m_strPresetPath.Empty();
    ShowControl(IDC_LABEL_OUTPUT, false);
    EnableControl(IDC_LABEL_OPERATION, false);
    EnableControl(IDC_OPERATION, false);
    ShowControl(IDC_LABEL_ARCHIVE, true);
    EnableControl(IDC_CHECK_1036, false);
    ShowControl(IDC_LABEL_PRESET, false);
    ShowControl(IDC_LABEL_DESTINATION, true);
    ShowControl(IDC_PROFILE_FOLDER, true);
  }
  // The first path is a preset's description when creating and a file name when opening.
  if (CEdit* first = static_cast<CEdit*>(GetDlgItem(IDC_FIRST_PATH))) first->SetReadOnly(!IsOpenMode());
  UpdateProfileFolderControls();
  if (sheet) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

void CArchiveSelPage::UpdateProfileFolderControls() {
  UpdateData(TRUE);
  CSystemProfile profile;
  profile.Load();
  const bool allowed = profile.OutputOption == 1 && !profile.OutputFolder.IsEmpty();
  EnableControl(IDC_PROFILE_FOLDER, allowed);
  if (!allowed && m_bUseProfileFolder) {
    // A choice the profile no longer allows does not count.
    m_bUseProfileFolder = 0;
    UpdateData(FALSE);
  }
  const bool own = !(allowed && m_bUseProfileFolder && IsOpenMode());
  EnableControl(IDC_BROWSE, own);
  EnableControl(IDC_LABEL_DESTINATION, own);
  EnableControl(IDC_SECOND_PATH, own);
}

void CArchiveSelPage::OnUseProfileFolder() { UpdateProfileFolderControls(); }

void CArchiveSelPage::OnOperationChanged() { UpdateData(TRUE); }

void CArchiveSelPage::OnCheckChanged() { UpdateData(TRUE); }

bool CArchiveSelPage::TakePreset(const CString& path) {
  if (GetSafeHwnd()) UpdateData(TRUE);
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> object(manager.OpenFile(path));
  auto* preset = dynamic_cast<COneClickFile*>(object.get());
  if (!preset) return false;
  m_strPresetPath = path;
  m_strFirstPath = preset->m_info.m_strText3;
  object.reset();
  manager.Reset();
  UpdateData(FALSE);
  return true;
}

void CArchiveSelPage::OnChoose() {
  UpdateData(TRUE);
  if (!IsOpenMode()) {
    COneClickSelectDialog chooser(this);
    chooser.m_nOperation = m_nOperation;
    chooser.m_bShowAll = 0;
    if (chooser.DoModal() != IDOK) return;
    CString path;
    chooser.GetSelectedPresetPath(path);
    if (path.IsEmpty()) {
      AfxMessageBox(LoadResString(562), MB_OK);
      return;
    }
    TakePreset(path);
    UpdateData(FALSE);
    return;
  }
  CFileDialog dialog(TRUE, "*.tvx", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(660), this);
  const CString title = LoadResString(653);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strFirstPath = dialog.GetPathName();
  UpdateData(FALSE);
}

void CArchiveSelPage::OnBrowse() {
  UpdateData(TRUE);
  if (!IsOpenMode()) {
    CFileDialog dialog(FALSE, "*.tvx", "Archive", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(660), this);
    const CString title = LoadResString(654);
    dialog.m_ofn.lpstrTitle = title;
    if (dialog.DoModal() != IDOK) return;
    m_strSecondPath = dialog.GetPathName();
    UpdateData(FALSE);
    return;
  }
  CFolderBrowseDlg chooser;
  chooser.m_strCaption = LoadResString(422);
  chooser.m_strInitialFolder = m_strSecondPath.IsEmpty() ? CString("/") : m_strSecondPath;
  chooser.m_strTitle = "Select directory:";
  if (!chooser.DoModal(this)) return;
  m_strSecondPath = chooser.m_strFolder;
  UpdateData(FALSE);
  SetModified(TRUE);
}

LRESULT CArchiveSelPage::OnWizardBack() {
  UpdateData(TRUE);
  return CPropertyPage::OnWizardBack();
}

LRESULT CArchiveSelPage::OnWizardNext() {
  CArchiveSheet* sheet = Sheet();
  UpdateData(TRUE);
  const bool open = IsOpenMode();
  if (!open && m_strFirstPath.IsEmpty()) {
    AfxMessageBox(LoadResString(358), MB_OK);
    return -1;
  }
  if (m_strSecondPath.IsEmpty() && !(open && m_bUseProfileFolder)) {
    AfxMessageBox(LoadResString(419), MB_OK);
    return -1;
  }
  // Opening needs an archive to open.
  if (open && m_strFirstPath.IsEmpty()) {
    AfxMessageBox(LoadResString(626), MB_OK);
    return -1;
  }
  if (!sheet) return CPropertyPage::OnWizardNext();
  CArchiveWizardData& data = sheet->m_Data;
  data.m_nMode = m_nOperation;
  data.m_bConfirmed = 1;
  if (open) {
    data.m_nMode = CArchiveWizardData::kOpen;
    data.m_strPresetPath.Empty();
    data.m_strDestinationPath = m_strFirstPath;
  } else {
    data.m_strPresetPath = m_strPresetPath;
    data.m_strDestinationPath = m_strSecondPath;
  }
  data.m_strChosenPath = m_strSecondPath;
  data.m_nReloadPending = 1;
  // An opened archive is shown on the contents page as well, where its files are extracted.
  sheet->SetActivePage(CArchiveSheet::kZipPage);
  return -1;
}
