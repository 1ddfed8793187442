#include "app/SheetWorker.h"

#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

CSheetWorker::~CSheetWorker() {
  Wait();
  delete m_pThread;
}

bool CSheetWorker::Start(AFX_THREADPROC proc, LPVOID argument) {
  Wait();
  delete m_pThread;
  m_pThread = AfxBeginThread(proc, argument, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!m_pThread) return false;
  // Kept, so that the sheet can wait for the thread before its pages go.
  m_pThread->m_bAutoDelete = FALSE;
  m_pThread->ResumeThread();
  return true;
}

bool CSheetWorker::Wait(DWORD milliseconds) {
  if (!m_pThread || !m_pThread->m_hThread) return true;
  HANDLE thread = m_pThread->m_hThread;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (milliseconds != INFINITE && elapsed >= milliseconds) return false;
    const DWORD wait = milliseconds == INFINITE ? INFINITE : milliseconds - elapsed;
    // The worker may be sending this thread a message (a row, a box to show): take it meanwhile.
    const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, wait, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
      continue;
    }
    if (r == WAIT_TIMEOUT) return false;
    return WaitForSingleObject(thread, wait) == WAIT_OBJECT_0;
  }
}

bool CSheetWorker::IsRunning() const {
  return m_pThread && m_pThread->m_hThread && WaitForSingleObject(m_pThread->m_hThread, 0) == WAIT_TIMEOUT;
}
