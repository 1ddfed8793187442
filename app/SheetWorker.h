// The worker thread of a wizard: the sheet keeps it and waits for it before its pages go, taking meanwhile
// the messages the worker sends to the sheet's thread (a row to update, a box to show).
#pragma once

#include "platform/mfc/winapp.h"

class CSheetWorker {
 public:
  CSheetWorker() = default;
  // Ends a worker that still runs (End).
  ~CSheetWorker();
  CSheetWorker(const CSheetWorker&) = delete;
  CSheetWorker& operator=(const CSheetWorker&) = delete;

  // Starts proc(argument) after the previous worker has ended; false when no thread could be started.
  bool Start(AFX_THREADPROC proc, LPVOID argument);
  // Waits for the worker to end, meanwhile taking the messages it sends to this thread; true when none runs.
  bool Wait(DWORD milliseconds = INFINITE);
  bool IsRunning() const;
  // The sheet is going: wakes the worker from its closing pause and waits for it.
  void End();

 private:
  static UINT Enter(LPVOID self);

  CWinThread* m_pThread = nullptr;
  AFX_THREADPROC m_proc = nullptr;
  LPVOID m_argument = nullptr;
  HANDLE m_hEnding = nullptr;
};

// The pause a worker makes after its run: the given time, cut short when its sheet ends meanwhile. A plain
// sleep on a thread that no CSheetWorker started.
void WorkerClosingPause(DWORD milliseconds);
