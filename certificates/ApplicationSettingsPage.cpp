#include "certificates/ApplicationSettingsPage.h"

#include "app/BaseSheet.h"
#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "certificates/CertPageTools.h"
#include "certificates/TrustLists.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SecurityPolicy.h"
#include "engine/CapicomStore.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "settings/EmbeddedConfigMgr.h"

using namespace certmgr;

namespace {
constexpr UINT kOperationItems = 31508;
}  // namespace

IMPLEMENT_DYNCREATE(CApplicationSettingsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CApplicationSettingsPage, CPropertyPage)
END_MESSAGE_MAP()

CApplicationSettingsPage::CApplicationSettingsPage() : CPropertyPage(IDD) {}

void CApplicationSettingsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1005, m_lblOperation);
  DDX_Control(pDX, 1059, m_lblNote);
  DDX_Control(pDX, 1010, m_cboOperation);
  DDX_CBIndex(pDX, 1010, m_nTargetOperation);
  DDX_Check(pDX, 1009, m_bEnableDesktopAddin);
  DDX_Check(pDX, 1147, m_bEnableShellAllMenu);
  DDX_Check(pDX, 1148, m_bShowFinishPage);
  DDX_Check(pDX, 1196, m_bVerifySignatureOnly);
  DDX_Check(pDX, 1261, m_bStrictTrust);
  DDX_Check(pDX, 1269, m_bVerifyBeforeSign);
}

bool CApplicationSettingsPage::IsSmartCardVariant() const {
  auto* sheet = dynamic_cast<CEmbeddedConfigMgr*>(GetParent());
  return sheet && sheet->m_bSmartCard;
}

BOOL CApplicationSettingsPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  // The shipped trust list goes into the one-click folder once (never without a folder: that would be "/").
  const CString folder = GetOneClickFolder();
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  if (!folder.IsEmpty() && app) {
    const CString target = TrustFilePath(folder, kStrictRootsFile);
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES && MakeFolder(folder))
      CopyFileA(TrustFilePath(app->m_strModuleFolder, kStrictRootsFile), target, FALSE);
  }
  // The operations a protected file opens with, in the order of the stored value (0, then anything else).
  m_cboOperation.ResetContent();
  const CString items = LoadResString(kOperationItems);
  for (int start = 0; start < items.GetLength();) {
    int end = items.Find('\n', start);
    if (end < 0) end = items.GetLength();
    m_cboOperation.AddString(items.Mid(start, end - start));
    start = end + 1;
  }
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  m_nTargetOperation = config.TargetFileDefaultOperation == 0 ? 0 : 1;
  m_bEnableDesktopAddin = static_cast<int>(config.EnableDesktopAddin);
  m_bEnableShellAllMenu = static_cast<int>(config.EnableShellAllMenu);
  m_bShowFinishPage = static_cast<int>(config.ShowFinishPage);
  m_bVerifySignatureOnly = static_cast<int>(config.VerifySignatureOnly);
  m_bStrictTrust = static_cast<int>(config.DoD_JICT);
  m_bVerifyBeforeSign = static_cast<int>(config.VerifyBeforeSign);
  if (IsSmartCardVariant()) {
    m_bEnableShellAllMenu = 0;
    if (CWnd* check = GetDlgItem(1147)) check->EnableWindow(FALSE);
  }
  m_lblNote.ShowWindow(SW_HIDE);
  UpdateData(FALSE);
  return TRUE;
}

BOOL CApplicationSettingsPage::OnSetActive() {
  UpdateData(TRUE);
  CSecurityPolicy policy;
  if (policy.Load()) EnableChildControls(this, !policy.m_bConfigurationManager);
  if (CWnd* strict = GetDlgItem(1261)) {
    if (strict->IsWindowEnabled() && !IsUserInAdminGroup() && !IsUserInDomainAdminGroup()) strict->EnableWindow(FALSE);
  }
  if (IsSmartCardVariant()) {
    m_bEnableShellAllMenu = 0;
    if (CWnd* check = GetDlgItem(1147)) check->EnableWindow(FALSE);
  }
  UpdateData(FALSE);
  return CPropertyPage::OnSetActive();
}

BOOL CApplicationSettingsPage::OnKillActive() { return CPropertyPage::OnKillActive(); }

bool CApplicationSettingsPage::SwapTrustedRoots(bool strictOn) {
  const CString folder = GetOneClickFolder();
  const CString source = TrustFilePath(folder, strictOn ? kStrictRootsFile : kTrustBackupFile);
  const CString backup = TrustFilePath(folder, strictOn ? kTrustBackupFile : kStrictRootsFile);
  CByteBuffer bytes;
  std::vector<CCapicomCertificate> roots;
  if (!ReadWholeFile(source, bytes) || !ReadBundle(bytes, roots)) {
    MessageBox(LoadResString(474), nullptr, MB_OK);
    return false;
  }
  // The roots in use are kept before anything changes.
  CCapicomStore current;
  CByteBuffer kept;
  if (FAILED(current.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED)) ||
      !ExportBundle(current, kept) || !WriteWholeFile(backup, kept)) {
    MessageBox(LoadResString(474), nullptr, MB_OK);
    return false;
  }
  switch (ReplaceTrustedRoots(roots)) {
    case RootSwap::Done: return true;
    case RootSwap::AccessDenied:
      MessageBox(LoadResString(474) + " " + LoadResString(476), nullptr, MB_OK);
      return false;
    case RootSwap::AddFailed:
      MessageBox(LoadResString(477) + " " + LoadResString(475), nullptr, MB_OK);
      return false;
    default:
      MessageBox(LoadResString(474) + " " + LoadResString(475), nullptr, MB_OK);
      return false;
  }
}

BOOL CApplicationSettingsPage::OnApply() {
  if (!GetSafeHwnd()) return FALSE;
  UpdateData(TRUE);
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  if (static_cast<DWORD>(m_bStrictTrust) != config.DoD_JICT) {
    if (MessageBox(LoadResString(473), nullptr, MB_YESNO) != IDYES) {
      m_bStrictTrust = static_cast<int>(config.DoD_JICT);
      UpdateData(FALSE);
    } else {
      WaitCursor wait(this);
      if (GetOneClickFolder().IsEmpty()) {
        MessageBox(LoadResString(264), nullptr, MB_YESNO);
        return FALSE;
      }
      if (!SwapTrustedRoots(m_bStrictTrust != 0)) {
        // The roots are as they were: so is the switch.
        m_bStrictTrust = static_cast<int>(config.DoD_JICT);
        UpdateData(FALSE);
        return FALSE;
      }
    }
  }
  UpdateData(TRUE);
  config.TargetFileDefaultOperation = m_nTargetOperation < 0 ? 0 : static_cast<DWORD>(m_nTargetOperation);
  config.EnableDesktopAddin = m_bEnableDesktopAddin;
  config.EnableShellAllMenu = IsSmartCardVariant() ? 0 : m_bEnableShellAllMenu;
  config.ShowFinishPage = m_bShowFinishPage;
  config.VerifySignatureOnly = m_bVerifySignatureOnly;
  config.DoD_JICT = m_bStrictTrust;
  config.VerifyBeforeSign = m_bVerifyBeforeSign;
  config.SaveOperationOptions();
  SetModified(FALSE);
  return CPropertyPage::OnApply();
}
