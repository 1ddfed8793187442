// The worker thread of the host list: it sleeps until asked to ping a host, sends the echo requests and posts
// every result line to the asking window. It lives as long as its owner: the destructor stops it and waits for
// it, which takes at most a fraction of a second because a run looks at the stop event while it waits.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

// One status line: wParam a kind (below), lParam the text in a char array from new[] that the receiver frees.
constexpr UINT WM_PING_LINE = 0x500;  // WM_USER + 256
// End of a run: lParam 1 when the host was found and its requests were sent, 0 when the socket failed to open
// or the host was not found.
constexpr UINT WM_PING_DONE = 0x501;  // WM_USER + 257

enum PingLineKind { kPingError = 0, kPingHeader = 1, kPingReply = 2, kPingTimeout = 3 };

class PingWorker {
 public:
  PingWorker();
  ~PingWorker();
  PingWorker(const PingWorker&) = delete;
  PingWorker& operator=(const PingWorker&) = delete;

  // Starts a run of count echo requests to the host; the lines go to the window.
  void Request(int count, const char* host, HWND window);
  // Stops the thread and waits for it (a run in progress ends early); the destructor does it too.
  void Stop();

  // One run on the calling thread: ends early, posting nothing more, once stop is signalled.
  static void PingHost(int count, const char* host, HWND window, HANDLE stop);

 private:
  static unsigned ThreadMain(void* self);

  DWORD m_dwThreadId = 0;
  HANDLE m_hThread = nullptr;
  HANDLE m_hStop = nullptr;
  HANDLE m_hRequest = nullptr;
  CString m_strHost;
  HWND m_hWnd = nullptr;
  int m_nCount = 0;
};
