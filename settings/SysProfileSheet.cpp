#include "settings/SysProfileSheet.h"

#include <new>

#include "app/ResString.h"
#include "enrolment/VorlindEnrolmentProxy.h"

IMPLEMENT_DYNAMIC(CSysProfileSheet, CSettingsSheet)
IMPLEMENT_SHEET_CLASS(CSysProfileSheet, SHEET_CLASS(CBaseSheet), "System Profile", 0, 0, 0)

CSysProfileSheet::CSysProfileSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSettingsSheet(caption, pParentWnd, selectPage), m_pProxy(new (std::nothrow) CVorlindEnrolmentProxy) {
  // Read once: a page's unsaved values are not lost when another page is shown.
  m_SystemProfile.Load();
  EnableHeader(TRUE);
}

CSysProfileSheet::~CSysProfileSheet() {
  delete m_pProxy;
  m_pProxy = nullptr;
}

BOOL CSysProfileSheet::AddPages() {
  // The smart-card variant: the one-click preset manager and the cipher page only.
  CreatePageImageLists();
  if (m_bSmartCard == 1)
    AddPageWithIcon(&m_OneClickPage, 1067, LoadResString(5318), LoadResString(5319));
  else
    AddPageWithIcon(&m_MainPage, 141, LoadResString(5320), LoadResString(5321));
  AddPageWithIcon(&m_SettingPage, 1918, LoadResString(5322), LoadResString(5323));
  if (m_bSmartCard == 0) {
    m_VorlindPage.m_pEnrolmentProxy = m_pProxy;
    AddPageWithIcon(&m_VorlindPage, 1113, LoadResString(5324), LoadResString(5325));
    AddPageWithIcon(&m_MiscPage, 143, LoadResString(5326), LoadResString(5327));
    AddPageWithIcon(&m_ProxyPage, 1086, LoadResString(5328), LoadResString(5329));
    AddPageWithIcon(&m_MyProfilesPage, 1032, LoadResString(5330), LoadResString(5331));
  }
  return TRUE;
}
