#include "app/SheetWorker.h"

#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

namespace {
// The ending event of the sheet whose worker runs on this thread.
thread_local HANDLE t_ending = nullptr;
}  // namespace

void WorkerClosingPause(DWORD milliseconds) {
  if (t_ending)
    WaitForSingleObject(t_ending, milliseconds);
  else
    Sleep(milliseconds);
}

CSheetWorker::~CSheetWorker() {
  End();
  delete m_pThread;
  if (m_hEnding) CloseHandle(m_hEnding);
}

UINT CSheetWorker::Enter(LPVOID self) {
  auto* worker = static_cast<CSheetWorker*>(self);
  t_ending = worker->m_hEnding;
  return worker->m_proc(worker->m_argument);
}

void CSheetWorker::End() {
  if (m_hEnding) SetEvent(m_hEnding);
  Wait();
}

bool CSheetWorker::Start(AFX_THREADPROC proc, LPVOID argument) {
  Wait();
  delete m_pThread;
  m_pThread = nullptr;
  if (!m_hEnding) m_hEnding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_hEnding) ResetEvent(m_hEnding);
  m_proc = proc;
  m_argument = argument;
  m_pThread = AfxBeginThread(m_hEnding ? Enter : proc, m_hEnding ? static_cast<LPVOID>(this) : argument,
                             THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
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
