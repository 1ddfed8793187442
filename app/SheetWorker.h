// The worker thread of a wizard: the sheet keeps it and waits for it before its pages go, taking meanwhile
// the messages the worker sends to the sheet's thread (a row to update, a box to show).
#pragma once

#include "platform/mfc/winapp.h"

class CSheetWorker {
 public:
  CSheetWorker() = default;
  // Waits for a worker that still runs.
  ~CSheetWorker();
  CSheetWorker(const CSheetWorker&) = delete;
  CSheetWorker& operator=(const CSheetWorker&) = delete;

  // Starts proc(argument) after the previous worker has ended; false when no thread could be started.
  bool Start(AFX_THREADPROC proc, LPVOID argument);
  // Waits for the worker to end, meanwhile taking the messages it sends to this thread; true when none runs.
  bool Wait(DWORD milliseconds = INFINITE);
  bool IsRunning() const;

 private:
  CWinThread* m_pThread = nullptr;
};
