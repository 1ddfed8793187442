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
  // The smart-card variant starts with the one-click preset manager's page once that part of the library
  // offers it; the normal one has the enrolment service page third and the mail profiles page last, as their
  // parts of the library offer them.
  CreatePageImageLists();
  if (m_bSmartCard != 1)
    AddPageWithIcon(&m_MainPage, 141, LoadResString(5320), LoadResString(5321));
  AddPageWithIcon(&m_SettingPage, 1918, LoadResString(5322), LoadResString(5323));
  if (m_bSmartCard == 0) {
    AddPageWithIcon(&m_MiscPage, 143, LoadResString(5326), LoadResString(5327));
    AddPageWithIcon(&m_ProxyPage, 1086, LoadResString(5328), LoadResString(5329));
  }
  return TRUE;
}
