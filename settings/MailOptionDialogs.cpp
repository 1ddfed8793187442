#include "settings/MailOptionDialogs.h"

#include "platform/win32/registry.h"
#include "app/MailTolvexSettings.h"

namespace {
const char kESignKey[] = "Software\\Kesmora\\MailTolvex\\ESign";
const char kCompressionKey[] = "Software\\Kesmora\\MailTolvex\\Compression";
}  // namespace

CESignDlg::CESignDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void CESignDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Check(pDX, 1233, m_bComply1);
  DDX_Check(pDX, 1235, m_bComply4);
  DDX_Check(pDX, 1234, m_bComply2);
  DDX_Check(pDX, 1231, m_bTimeStamp);
  DDX_Check(pDX, 1230, m_bESign);
  DDX_Check(pDX, 1232, m_bESignTrack);
}

BOOL CESignDlg::OnInitDialog() {
  CESignSettings settings(HKEY_CURRENT_USER, kESignKey);
  settings.Load();
  m_bComply1 = settings.m_bComply1;
  m_bComply4 = settings.m_bComply4;
  m_bComply2 = settings.m_bComply2;
  m_bTimeStamp = settings.m_bTimeStamp;
  m_bESign = settings.m_bESign;
  m_bESignTrack = settings.m_bESignTrack;
  return CDialog::OnInitDialog();
}

void CESignDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  CESignSettings settings(HKEY_CURRENT_USER, kESignKey);
  settings.Load();
  settings.m_bComply1 = m_bComply1;
  settings.m_bComply4 = m_bComply4;
  settings.m_bComply2 = m_bComply2;
  settings.m_bTimeStamp = m_bTimeStamp;
  settings.m_bESign = m_bESign;
  settings.m_bESignTrack = m_bESignTrack;
  settings.Save();
  EndDialog(IDOK);
}

CCompressionDlg::CCompressionDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void CCompressionDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, 1142, m_lblNote);
  DDX_Check(pDX, 1065, m_bCompress);
  DDX_Text(pDX, 1018, m_Level);
  DDV_MinMaxInt(pDX, m_Level, 1, 10);
}

BOOL CCompressionDlg::OnInitDialog() {
  CCompressionSettings settings(HKEY_CURRENT_USER, kCompressionKey);
  settings.Load();
  m_bCompress = settings.m_bCompress;
  m_Level = static_cast<int>(settings.m_Level);
  return CDialog::OnInitDialog();
}

void CCompressionDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  CCompressionSettings settings(HKEY_CURRENT_USER, kCompressionKey);
  settings.Load();
  settings.m_bCompress = m_bCompress;
  settings.m_Level = static_cast<DWORD>(m_Level);
  settings.Save();
  EndDialog(IDOK);
}
