#include "enrolment/PingWorker.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "enrolment/IcmpEcho.h"
#include "platform/services/winsock.h"
#include "platform/ui/ui.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

namespace ws = kx::ws;

namespace {

// Process-wide; never reset.
std::atomic<unsigned> g_identifier{1};
std::atomic<unsigned> g_sequence{1};

constexpr DWORD kReplyWaitMs = 1000;
constexpr DWORD kPauseAfterReplyMs = 1000;
// How often a wait looks at the stop event.
constexpr DWORD kStopCheckMs = 100;

void PostLine(HWND window, int kind, const CString& text) {
  const int length = text.GetLength();
  char* copy = new char[length + 1];
  std::memcpy(copy, static_cast<const char*>(text), length + 1);
  if (!PostMessage(window, WM_PING_LINE, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(copy))) delete[] copy;
}

void PostSocketError(HWND window, const char* call) {
  CString line;
  line.Format("%s - WSAError: %ld", call, static_cast<long>(ws::WSAGetLastError()));
  PostLine(window, kPingError, line);
}

bool Stopped(HANDLE stop, DWORD waitMs = 0) { return WaitForSingleObject(stop, waitMs) == WAIT_OBJECT_0; }

enum class Wait { kReply, kTimeout, kSelectFailed, kReadFailed, kStopped };

// Waits up to a second for the reply to the request, passing over datagrams that are not it.
Wait AwaitReply(ws::SOCKET sock, HWND window, HANDLE stop, WORD identifier, WORD sequence,
                const ws::sockaddr_in& destination, EchoReply& reply, ws::sockaddr_in& from) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kReplyWaitMs) return Wait::kTimeout;
    if (Stopped(stop)) return Wait::kStopped;
    const DWORD slice = std::min(kReplyWaitMs - elapsed, kStopCheckMs);
    ws::fd_set readable{};
    readable.fd_count = 1;
    readable.fd_array[0] = sock;
    ws::timeval timeout{0, static_cast<long>(slice * 1000)};
    const int ready = ws::select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == ws::SOCKET_ERROR) {
      PostSocketError(window, "select()");
      return Wait::kSelectFailed;
    }
    if (ready == 0) continue;
    BYTE datagram[kEchoReplyMax];
    int fromLength = sizeof from;
    int received = ws::recvfrom(sock, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                                reinterpret_cast<ws::sockaddr*>(&from), &fromLength);
    // A longer datagram is cut to what is read; its start still tells whose it is.
    if (received == ws::SOCKET_ERROR && ws::WSAGetLastError() == ws::WSAEMSGSIZE) received = sizeof datagram;
    if (received == ws::SOCKET_ERROR) {
      PostSocketError(window, "recvfrom()");
      return Wait::kReadFailed;
    }
    if (ReadEchoReply(datagram, received, identifier, sequence, destination.sin_addr.s_addr, reply))
      return Wait::kReply;
  }
}

}  // namespace

PingWorker::PingWorker() {
  m_hStop = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  m_hRequest = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  unsigned id = 0;
  m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &PingWorker::ThreadMain, this, 0, &id));
  m_dwThreadId = id;
}

PingWorker::~PingWorker() {
  Stop();
  CloseHandle(m_hStop);
  CloseHandle(m_hRequest);
}

void PingWorker::Stop() {
  if (!m_hThread) return;
  SetEvent(m_hStop);
  WaitForSingleObject(m_hThread, INFINITE);
  CloseHandle(m_hThread);
  m_hThread = nullptr;
}

void PingWorker::Request(int count, const char* host, HWND window) {
  m_nCount = count;
  m_strHost = host ? host : "";
  m_hWnd = window;
  SetEvent(m_hRequest);
}

unsigned PingWorker::ThreadMain(void* self) {
  auto* worker = static_cast<PingWorker*>(self);
  const HANDLE events[2] = {worker->m_hStop, worker->m_hRequest};
  for (;;) {
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0 + 1) return 0;
    PingHost(worker->m_nCount, worker->m_strHost, worker->m_hWnd, worker->m_hStop);
  }
}

void PingWorker::PingHost(int count, const char* host, HWND window, HANDLE stop) {
  const ws::SOCKET sock = ws::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (sock == ws::INVALID_SOCKET) {
    PostSocketError(window, "socket()");
    PostMessage(window, WM_PING_DONE, 0, 0);
    return;
  }
  const ws::hostent* entry = ws::gethostbyname(host);
  if (!entry || !entry->h_addr_list[0]) {
    CString line;
    line.Format("Host not found: %s", host);
    PostLine(window, kPingError, line);
    PostMessage(window, WM_PING_DONE, 0, 0);
    ws::closesocket(sock);
    return;
  }
  ws::sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = 0;
  std::memcpy(&destination.sin_addr.s_addr, entry->h_addr_list[0], sizeof destination.sin_addr.s_addr);
  CString header;
  header.Format("Pinging %s [%s] with %d bytes of data:", host, ws::inet_ntoa(destination.sin_addr), kEchoDataSize);
  PostLine(window, kPingHeader, header);

  for (int i = 0; i < count; ++i) {
    if (Stopped(stop)) {
      ws::closesocket(sock);
      return;
    }
    const auto identifier = static_cast<WORD>(g_identifier++);
    const auto sequence = static_cast<WORD>(g_sequence++);
    BYTE request[kEchoRequestSize];
    BuildEchoRequest(identifier, sequence, GetTickCount(), request);
    if (ws::sendto(sock, reinterpret_cast<const char*>(request), sizeof request, 0,
                   reinterpret_cast<const ws::sockaddr*>(&destination), sizeof destination) == ws::SOCKET_ERROR)
      PostSocketError(window, "sendto()");
    EchoReply reply;
    ws::sockaddr_in from{};
    const Wait outcome = AwaitReply(sock, window, stop, identifier, sequence, destination, reply, from);
    if (outcome == Wait::kStopped) {
      ws::closesocket(sock);
      return;
    }
    if (outcome == Wait::kSelectFailed) break;
    if (outcome == Wait::kReadFailed) continue;
    if (outcome == Wait::kTimeout) {
      PostLine(window, kPingTimeout, "Request Timed Out");
      continue;
    }
    CString line;
    line.Format("Reply[%d] from: %s: bytes=%d time=%ldms TTL=%d", i + 1, ws::inet_ntoa(from.sin_addr), kEchoDataSize,
                static_cast<long>(GetTickCount() - reply.sendTime), reply.ttl);
    PostLine(window, kPingReply, line);
    if (Stopped(stop, kPauseAfterReplyMs)) {
      ws::closesocket(sock);
      return;
    }
  }
  PostMessage(window, WM_PING_DONE, 0, 1);
  if (ws::closesocket(sock) == ws::SOCKET_ERROR) PostSocketError(window, "closesocket()");
}
