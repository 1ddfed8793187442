#include "settings/UserProfileSetupWizard.h"

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "settings/UsrSetupRun.h"

IMPLEMENT_DYNAMIC(CUserProfileSetupWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CUserProfileSetupWizard, SHEET_CLASS(CBaseSheet), "User Setup", 1, 1150, 1141)

BEGIN_MESSAGE_MAP(CUserProfileSetupWizard, CBaseSheet)
  ON_WM_CREATE()
END_MESSAGE_MAP()

CUserProfileSetupWizard::CUserProfileSetupWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

CUserProfileSetupWizard::~CUserProfileSetupWizard() { WaitForWorker(); }

BOOL CUserProfileSetupWizard::AddPages() {
  m_imlTabs.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 25, 5);
  const CString caption = LoadResString(5289);
  AddPageWithIcon(&m_MainPage, 144, caption, "");
  AddPageWithIcon(&m_FinishPage, 144, caption, "");
  return TRUE;
}

int CUserProfileSetupWizard::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  return CBaseSheet::OnCreate(lpCreateStruct) == -1 ? -1 : 0;
}

bool CUserProfileSetupWizard::IsWorkerRunning() const { return m_Worker.IsRunning(); }

void CUserProfileSetupWizard::StartWorker() {
  if (!IsWorkerRunning()) m_Worker.Start(UserSetupThread, this);
}

void CUserProfileSetupWizard::WaitForWorker() { m_Worker.Wait(); }
