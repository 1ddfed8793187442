#include "encryption/EncryptionWizard.h"

#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

IMPLEMENT_DYNAMIC(CEncryptionWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CEncryptionWizard, SHEET_CLASS(CBaseSheet), "Certificate Importer", 1, 1127, 8260)

CEncryptionWizard::CEncryptionWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 108;
}

CEncryptionWizard::~CEncryptionWizard() {
  WaitForWorker();
  delete m_pWorker;
  m_pWorker = nullptr;
}

BOOL CEncryptionWizard::AddPages() {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  CPropertyPage* pages[] = {&m_MainPage, &m_FilePage, &m_InfoPage, &m_FinalPage, &m_FinishPage, &m_OneClickPage};
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(128) : nullptr;
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add("Encryption Wizard");
  }
  return TRUE;
}

void CEncryptionWizard::StartWorker(UINT (*proc)(LPVOID)) {
  WaitForWorker();
  delete m_pWorker;
  m_pWorker = AfxBeginThread(proc, static_cast<CObject*>(this), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!m_pWorker) return;
  // The sheet keeps the thread object so that it can wait for the thread before the pages go.
  m_pWorker->m_bAutoDelete = FALSE;
  m_pWorker->ResumeThread();
}

bool CEncryptionWizard::WaitForWorker(DWORD milliseconds) {
  if (!m_pWorker || !m_pWorker->m_hThread) return true;
  HANDLE thread = m_pWorker->m_hThread;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (milliseconds != INFINITE && elapsed >= milliseconds) return false;
    // The worker may be sending this thread a message (a row to update, a box to show): take it meanwhile.
    DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds == INFINITE ? INFINITE : milliseconds - elapsed,
                                        QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return r == WAIT_TIMEOUT ? false : WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
}
