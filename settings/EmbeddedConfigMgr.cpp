#include "settings/EmbeddedConfigMgr.h"

#include "app/ResString.h"

IMPLEMENT_DYNAMIC(CEmbeddedConfigMgr, CSettingsSheet)
IMPLEMENT_SHEET_CLASS(CEmbeddedConfigMgr, SHEET_CLASS(CBaseSheet), "Configuration Manager", 0, 0, 0)

CEmbeddedConfigMgr::CEmbeddedConfigMgr(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSettingsSheet(caption, pParentWnd, selectPage) {
  EnableButtonArrange(TRUE);
  EnableHeader(TRUE);
}

BOOL CEmbeddedConfigMgr::AddPages() {
  CreatePageImageLists();
  struct Entry {
    CPropertyPage* page;
    UINT icon, caption, description;
    bool smartCard;
  };
  const Entry entries[] = {
      {&m_GeneralPage, 1918, 5275, 5288, true}, {&m_ApplicationPage, 143, 5276, 5287, true},
      {&m_OfficePage, 1017, 5277, 5286, true},  {&m_DiskPage, 1114, 5278, 5285, false},
      {&m_ShredPage, 1099, 5279, 5284, false},  {&m_MailPage, 1107, 5280, 5283, false},
      {&m_HummingbirdPage, 1159, 5281, 5282, true},
  };
  for (const Entry& e : entries) {
    if (m_bSmartCard && !e.smartCard) continue;
    AddPageWithIcon(e.page, e.icon, LoadResString(e.caption), LoadResString(e.description));
  }
  return TRUE;
}
