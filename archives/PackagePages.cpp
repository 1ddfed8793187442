// The package wizard's welcome, package and files pages.
#include <memory>

#include "app/ResString.h"
#include "archives/PackageSheet.h"
#include "controls/FileListDlg.h"
#include "encryption/OneClickSelectDialog.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/win32/files.h"

namespace {

enum {
  IDC_CHOICE = 1214,
  IDC_WELCOME_TITLE = 1058,
  IDC_WELCOME_TEXT = 1059,
  IDC_PRESET_LABEL = 1037,
  IDC_FILE_LABEL = 1060,
  IDC_MAKE_ZIP = 1205,
  IDC_PRESET = 1031,
  IDC_PACKAGE = 1203,
  IDC_BROWSE_PACKAGE = 1009,
  IDC_CHOOSE_PRESET = 1043,
  IDC_FILE = 1031,
  IDC_MAIL = 1029,
  IDC_SEVERAL = 1036,
  IDC_CHOOSE_FILES = 1008,
};

}  // namespace

// ---- welcome ----

IMPLEMENT_DYNCREATE(PkgMainPage, CPropertyPage)

PkgMainPage::PkgMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

CPackageSheet* PkgMainPage::Sheet() { return dynamic_cast<CPackageSheet*>(GetParentSheet()); }

void PkgMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WELCOME_TITLE, m_stcTitle);
  DDX_Control(pDX, IDC_WELCOME_TEXT, m_stcText);
  DDX_Radio(pDX, IDC_CHOICE, m_nChoice);
}

BOOL PkgMainPage::OnSetActive() {
  UpdateData(TRUE);
  if (CPropertySheet* sheet = GetParentSheet()) sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT PkgMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (CPackageSheet* sheet = Sheet()) {
    sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    sheet->m_WizardData.m_nPackageType = m_nChoice;
  }
  return CPropertyPage::OnWizardNext();
}

// ---- package ----

IMPLEMENT_DYNCREATE(PkgInfoPage, CPropertyPage)

BEGIN_MESSAGE_MAP(PkgInfoPage, CPropertyPage)
  ON_BN_CLICKED(IDC_BROWSE_PACKAGE, OnBrowsePackage)
  ON_BN_CLICKED(IDC_CHOOSE_PRESET, OnChoosePreset)
END_MESSAGE_MAP()

PkgInfoPage::PkgInfoPage() : CPropertyPage(IDD, 0, 174, 175) {}

CPackageSheet* PkgInfoPage::Sheet() { return dynamic_cast<CPackageSheet*>(GetParentSheet()); }

void PkgInfoPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PRESET_LABEL, m_lblPreset);
  DDX_Control(pDX, IDC_FILE_LABEL, m_lblPackage);
  DDX_Check(pDX, IDC_MAKE_ZIP, m_bMakeZip);
  DDX_Text(pDX, IDC_PRESET, m_strPresetText);
  DDX_Text(pDX, IDC_PACKAGE, m_strPackagePath);
}

BOOL PkgInfoPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  return TRUE;
}

BOOL PkgInfoPage::OnSetActive() {
  UpdateData(TRUE);
  if (CPropertySheet* sheet = GetParentSheet()) sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

void PkgInfoPage::OnBrowsePackage() {
  UpdateData(TRUE);
  CFileDialog dialog(FALSE, "*.exe", "Package", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "Package Files (*.exe)|*.exe||",
                     this);
  dialog.m_ofn.lpstrTitle = "Create Package";
  if (dialog.DoModal() != IDOK) return;
  m_strPackagePath = dialog.GetPathName();
  UpdateData(FALSE);
}

bool PkgInfoPage::TakePreset(const CString& path) {
  if (GetSafeHwnd()) UpdateData(TRUE);
  m_strPresetText = path;
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> object(manager.OpenFile(path));
  auto* preset = dynamic_cast<COneClickFile*>(object.get());
  bool taken = false;
  if (preset) {
    if (CPackageSheet* sheet = Sheet()) {
      sheet->m_WizardData.m_strPackageSetting = path;
      sheet->m_WizardData.m_strPresetName = preset->m_info.m_strText3;
    }
    m_strPresetText = preset->m_info.m_strText3;
    const int kind = preset->GetOptions()[0];
    if (kind >= 0 && kind <= 3) m_nPresetKind = kind;
    taken = true;
  }
  object.reset();
  manager.Reset();
  UpdateData(FALSE);
  return taken;
}

// The welcome page's countersign choice takes countersign presets only: any other preset would do its own
// operation under that name.
bool PkgInfoPage::WantsCountersignPreset() {
  CPackageSheet* sheet = Sheet();
  return sheet && sheet->m_WizardData.m_nPackageType == PkgMainPage::kCountersign;
}

void PkgInfoPage::OnChoosePreset() {
  UpdateData(TRUE);
  COneClickSelectDialog chooser(this);
  if (WantsCountersignPreset()) {
    chooser.m_bShowAll = 0;
    chooser.m_nOperation = kCountersignKind;
  }
  if (chooser.DoModal() != IDOK) return;
  CString path;
  chooser.GetSelectedPresetPath(path);
  if (path.IsEmpty()) {
    AfxMessageBox(LoadResString(562), MB_OK);
    return;
  }
  TakePreset(path);
}

LRESULT PkgInfoPage::OnWizardNext() {
  UpdateData(TRUE);
  CPackageSheet* sheet = Sheet();
  if (m_strPackagePath.IsEmpty()) {
    AfxMessageBox(LoadResString(563), MB_OK);
    return -1;
  }
  const int choice = sheet ? sheet->m_WizardData.m_nPackageType : PkgMainPage::kProtect;
  // Every choice but packing the files as they are replays a preset: one that was read whole.
  const bool needsPreset = choice != PkgMainPage::kAsTheyAre;
  const bool presetRead = sheet && !sheet->m_WizardData.m_strPackageSetting.IsEmpty() && m_nPresetKind >= 0 &&
                          (!WantsCountersignPreset() || m_nPresetKind == kCountersignKind);
  if (needsPreset && (m_strPresetText.IsEmpty() || !presetRead)) {
    AfxMessageBox(LoadResString(564), MB_OK);
    return -1;
  }
  if (!sheet) return CPropertyPage::OnWizardNext();
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_strPackageName = m_strPackagePath;
  char temp[MAX_PATH] = {};
  GetTempPath(sizeof temp, temp);
  data.m_strOutputFolder = temp;
  data.m_bPackageOption = m_bMakeZip ? 1 : 0;
  switch (choice) {
    case PkgMainPage::kProtect:
    case PkgMainPage::kCountersign: data.m_nMode = m_nPresetKind; break;
    case PkgMainPage::kAsTheyAre: data.m_nMode = -1; break;
    case PkgMainPage::kEncrypt: data.m_nMode = 0; break;
    default: break;
  }
  return CPropertyPage::OnWizardNext();
}

LRESULT PkgInfoPage::OnWizardBack() {
  UpdateData(TRUE);
  return CPropertyPage::OnWizardBack();
}

// ---- files ----

IMPLEMENT_DYNCREATE(PkgFilesPage, CPropertyPage)

BEGIN_MESSAGE_MAP(PkgFilesPage, CPropertyPage)
  ON_BN_CLICKED(IDC_CHOOSE_FILES, OnChooseFiles)
  ON_BN_CLICKED(IDC_SEVERAL, OnSeveralFiles)
END_MESSAGE_MAP()

PkgFilesPage::PkgFilesPage() : CPropertyPage(IDD, 0, 111, 106) {}

CPackageSheet* PkgFilesPage::Sheet() { return dynamic_cast<CPackageSheet*>(GetParentSheet()); }

void PkgFilesPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_FILE_LABEL, m_lblFile);
  DDX_Text(pDX, IDC_FILE, m_strFilePath);
  DDX_Check(pDX, IDC_MAIL, m_bMailPackage);
  DDX_Check(pDX, IDC_SEVERAL, m_bSeveralFiles);
}

BOOL PkgFilesPage::OnSetActive() {
  UpdateData(TRUE);
  if (CPropertySheet* sheet = GetParentSheet()) sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

void PkgFilesPage::OnChooseFiles() {
  UpdateData(TRUE);
  if (m_bSeveralFiles) {
    CFileListDlg list(this);
    list.m_astrFiles.Copy(m_arrFiles);
    list.m_bProtectedOnly = false;
    if (CWnd* button = GetDlgItem(IDC_CHOOSE_FILES)) button->GetWindowRect(&list.m_rcZoom);
    if (list.DoModal() == IDOK && list.m_astrFiles.GetSize() > 0) {
      m_arrFiles.Copy(list.m_astrFiles);
      UpdateData(FALSE);
    }
    return;
  }
  m_arrFiles.RemoveAll();
  CFileDialog dialog(TRUE, "*.*", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(268), this);
  const CString title = LoadResString(565);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  m_strFilePath = dialog.GetPathName();
  UpdateData(FALSE);
}

void PkgFilesPage::OnSeveralFiles() {
  UpdateData(TRUE);
  CPackageSheet* sheet = Sheet();
  if (sheet) sheet->m_SystemProfile.Load();
  CWnd* several = GetDlgItem(IDC_SEVERAL);
  if (sheet && sheet->m_SystemProfile.EnableDirOperation == 0) {
    m_bSeveralFiles = 0;
    UpdateData(FALSE);
    if (several) several->EnableWindow(FALSE);
    return;
  }
  if (several) several->EnableWindow(TRUE);
  CWnd* choose = GetDlgItem(IDC_CHOOSE_FILES);
  if (m_bSeveralFiles) {
    if (choose) {
      choose->EnableWindow(TRUE);
      choose->SetWindowText(LoadResString(423));
    }
    m_strFilePath = LoadResString(417);
  } else {
    if (choose) choose->SetWindowText(LoadResString(424));
    m_strFilePath.Empty();
  }
  UpdateData(FALSE);
}

LRESULT PkgFilesPage::OnWizardNext() {
  UpdateData(TRUE);
  if ((!m_bSeveralFiles && m_strFilePath.IsEmpty()) || (m_bSeveralFiles && m_arrFiles.GetSize() == 0)) {
    AfxMessageBox(LoadResString(418), MB_OK);
    return -1;
  }
  if (CPackageSheet* sheet = Sheet()) {
    CProtectWizardData& data = sheet->m_WizardData;
    data.m_arrInputFiles.RemoveAll();
    if (m_bSeveralFiles) {
      data.m_arrInputFiles.Copy(m_arrFiles);
      data.m_bMultipleFiles = 1;
    } else {
      data.m_arrInputFiles.Add(m_strFilePath);
      data.m_bMultipleFiles = 0;
    }
    data.m_bMailResults = m_bMailPackage ? 1 : 0;
    // A new list of files is worked on afresh.
    data.m_bOperationDone.store(0);
    sheet->m_ProcessPage.m_bPackaged = 0;
  }
  return CPropertyPage::OnWizardNext();
}
