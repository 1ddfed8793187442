#include "platform/services/winsock.h"

#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kx::ws {

namespace {

thread_local int t_lastError = 0;
std::atomic<int> g_failSockets{0};
std::atomic<int> g_startups{0};

struct SocketInfo {
  bool ping = false;  // an ICMP datagram socket standing in for a raw one
  bool sentIdent = false;
  unsigned char ident[2] = {0, 0};  // the identifier of the last echo request, as the caller wrote it
};

std::mutex& Lock() {
  static std::mutex m;
  return m;
}
std::map<int, SocketInfo>& Sockets() {
  static std::map<int, SocketInfo> sockets;
  return sockets;
}

int Fd(SOCKET s) { return s > static_cast<SOCKET>(INT32_MAX) ? -1 : static_cast<int>(s); }

bool Known(SOCKET s, SocketInfo* info = nullptr) {
  std::lock_guard<std::mutex> g(Lock());
  auto it = Sockets().find(Fd(s));
  if (it == Sockets().end()) return false;
  if (info) *info = it->second;
  return true;
}

int FromErrno(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSASYSCALLFAILURE;
  }
}

int Fail(int wsaError) {
  t_lastError = wsaError;
  return SOCKET_ERROR;
}

// RFC 1071 sum over bytes in memory order.
uint16_t Checksum(const unsigned char* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

void PutChecksum(unsigned char* at, const unsigned char* data, size_t length) {
  at[0] = at[1] = 0;
  const uint16_t sum = Checksum(data, length);
  at[0] = static_cast<unsigned char>(sum >> 8);
  at[1] = static_cast<unsigned char>(sum);
}

bool ToNative(const sockaddr* to, int tolen, ::sockaddr_in& out) {
  if (!to || tolen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT), false;
  if (to->sa_family != AF_INET) return Fail(WSAEAFNOSUPPORT), false;
  const auto* in = reinterpret_cast<const sockaddr_in*>(to);
  std::memset(&out, 0, sizeof out);
  out.sin_family = AF_INET;
  out.sin_port = in->sin_port;
  out.sin_addr.s_addr = in->sin_addr.s_addr;
  return true;
}

bool FromNative(const ::sockaddr_in& in, sockaddr* from, int* fromlen) {
  if (!from) return true;
  if (!fromlen || *fromlen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT), false;
  auto* out = reinterpret_cast<sockaddr_in*>(from);
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = in.sin_port;
  out->sin_addr.s_addr = in.sin_addr.s_addr;
  *fromlen = sizeof(sockaddr_in);
  return true;
}

// Copies a datagram into the caller's buffer; too long: cut, WSAEMSGSIZE.
int Deliver(const unsigned char* data, size_t length, char* buf, int len) {
  const size_t room = len > 0 ? static_cast<size_t>(len) : 0;
  std::memcpy(buf, data, std::min(room, length));
  if (length > room) return Fail(WSAEMSGSIZE);
  return static_cast<int>(length);
}

// An echo reply read from an ICMP datagram socket, given the IP header a raw socket would have shown and the
// identifier the caller sent.
int ReceivePing(int fd, const SocketInfo& info, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  std::vector<unsigned char> packet(20 + 65536);
  unsigned char* icmp = packet.data() + 20;
  iovec iov{icmp, packet.size() - 20};
  alignas(cmsghdr) char control[128];
  ::sockaddr_in source{};
  msghdr msg{};
  msg.msg_name = &source;
  msg.msg_namelen = sizeof source;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &msg, flags);
  if (n < 0) return Fail(FromErrno(errno));
  int ttl = 64;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
  const size_t length = static_cast<size_t>(n);
  if (info.sentIdent && length >= 8) {
    icmp[4] = info.ident[0];
    icmp[5] = info.ident[1];
    PutChecksum(icmp + 2, icmp, length);
  }
  unsigned char* ip = packet.data();
  std::memset(ip, 0, 20);
  const size_t total = 20 + length;
  ip[0] = 0x45;
  ip[2] = static_cast<unsigned char>(total >> 8);
  ip[3] = static_cast<unsigned char>(total);
  ip[8] = static_cast<unsigned char>(ttl);
  ip[9] = IPPROTO_ICMP;
  std::memcpy(ip + 12, &source.sin_addr.s_addr, 4);
  ::sockaddr_in local{};
  socklen_t localLength = sizeof local;
  if (::getsockname(fd, reinterpret_cast<::sockaddr*>(&local), &localLength) == 0)
    std::memcpy(ip + 16, &local.sin_addr.s_addr, 4);
  PutChecksum(ip + 10, ip, 20);
  if (!FromNative(source, from, fromlen)) return SOCKET_ERROR;
  return Deliver(packet.data(), total, buf, len);
}

int ToPollEvents(bool read, bool write, bool except) {
  return (read ? POLLIN : 0) | (write ? POLLOUT : 0) | (except ? POLLPRI : 0);
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
  if (!data) return WSAEFAULT;
  if (LOBYTE(versionRequested) < 1) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof *data);
  data->wVersion = versionRequested;
  data->wHighVersion = MAKEWORD(2, 2);
  std::snprintf(data->szDescription, sizeof data->szDescription, "Sockets of the platform");
  std::snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
  data->iMaxSockets = 0;
  data->iMaxUdpDg = 0;
  ++g_startups;
  return 0;
}

int WSACleanup() {
  int count = g_startups.load();
  while (count > 0 && !g_startups.compare_exchange_weak(count, count - 1)) {
  }
  if (count <= 0) return Fail(WSANOTINITIALISED);
  return 0;
}

int WSAGetLastError() { return t_lastError; }
void WSASetLastError(int error) { t_lastError = error; }

void SetSocketFailureForTests(int wsaError) { g_failSockets = wsaError; }

SOCKET socket(int af, int type, int protocol) {
  if (const int failure = g_failSockets.load()) {
    t_lastError = failure;
    return INVALID_SOCKET;
  }
  SocketInfo info;
  int fd = -1;
  if (af == AF_INET && type == SOCK_RAW && protocol == IPPROTO_ICMP) {
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
      info.ping = true;
      const int on = 1;
      ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    } else {
      fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
      if (fd >= 0) {
        // Only echo replies reach the socket: not our own requests on the loopback, nor others' ICMP.
        icmp_filter filter{};
        filter.data = ~(1U << ICMP_ECHOREPLY);
        ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
      }
    }
  } else {
    fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
  }
  if (fd < 0) {
    t_lastError = FromErrno(errno);
    return INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> g(Lock());
  Sockets()[fd] = info;
  return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
  {
    std::lock_guard<std::mutex> g(Lock());
    if (!Sockets().erase(Fd(s))) return Fail(WSAENOTSOCK);
  }
  if (::close(Fd(s)) != 0) return Fail(FromErrno(errno));
  return 0;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  SocketInfo info;
  if (!Known(s, &info)) return Fail(WSAENOTSOCK);
  if (!buf || len < 0) return Fail(WSAEFAULT);
  ::sockaddr_in target{};
  if (!ToNative(to, tolen, target)) return SOCKET_ERROR;
  if (info.ping && len >= 8) {
    std::lock_guard<std::mutex> g(Lock());
    SocketInfo& held = Sockets()[Fd(s)];
    held.ident[0] = static_cast<unsigned char>(buf[4]);
    held.ident[1] = static_cast<unsigned char>(buf[5]);
    held.sentIdent = true;
  }
  const ssize_t n = ::sendto(Fd(s), buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL,
                             reinterpret_cast<const ::sockaddr*>(&target), sizeof target);
  if (n < 0) return Fail(FromErrno(errno));
  return static_cast<int>(n);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  SocketInfo info;
  if (!Known(s, &info)) return Fail(WSAENOTSOCK);
  if (!buf || len < 0) return Fail(WSAEFAULT);
  if (info.ping) return ReceivePing(Fd(s), info, buf, len, flags, from, fromlen);
  std::vector<unsigned char> packet(65536 + 60);
  ::sockaddr_in source{};
  socklen_t sourceLength = sizeof source;
  const ssize_t n = ::recvfrom(Fd(s), packet.data(), packet.size(), flags,
                               reinterpret_cast<::sockaddr*>(&source), &sourceLength);
  if (n < 0) return Fail(FromErrno(errno));
  if (!FromNative(source, from, fromlen)) return SOCKET_ERROR;
  return Deliver(packet.data(), static_cast<size_t>(n), buf, len);
}

int select(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout) {
  struct Entry {
    SOCKET socket;
    bool read, write, except;
  };
  std::vector<Entry> entries;
  auto collect = [&](fd_set* set, int which) {
    if (!set) return true;
    if (set->fd_count > static_cast<UINT>(kFdSetSize)) return false;
    for (UINT i = 0; i < set->fd_count; ++i) {
      const SOCKET s = set->fd_array[i];
      auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.socket == s; });
      if (it == entries.end()) it = entries.insert(entries.end(), Entry{s, false, false, false});
      (which == 0 ? it->read : which == 1 ? it->write : it->except) = true;
    }
    return true;
  };
  if (!collect(readfds, 0) || !collect(writefds, 1) || !collect(exceptfds, 2)) return Fail(WSAEINVAL);
  if (entries.empty()) return Fail(WSAEINVAL);
  std::vector<pollfd> polls;
  for (const Entry& e : entries) {
    if (!Known(e.socket)) return Fail(WSAENOTSOCK);
    polls.push_back(pollfd{Fd(e.socket), static_cast<short>(ToPollEvents(e.read, e.write, e.except)), 0});
  }
  int ms = -1;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
    const long long total = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    ms = static_cast<int>(std::min<long long>(total, INT32_MAX));
  }
  const int ready = ::poll(polls.data(), polls.size(), ms);
  if (ready < 0) return Fail(FromErrno(errno));
  int count = 0;
  auto keep = [&](fd_set* set, short events) {
    if (!set) return;
    UINT kept = 0;
    for (UINT i = 0; i < set->fd_count; ++i) {
      const SOCKET s = set->fd_array[i];
      for (size_t k = 0; k < entries.size(); ++k)
        if (entries[k].socket == s && (polls[k].revents & events)) {
          set->fd_array[kept++] = s;
          ++count;
          break;
        }
    }
    set->fd_count = kept;
  };
  keep(readfds, POLLIN | POLLHUP | POLLERR);
  keep(writefds, POLLOUT | POLLERR);
  keep(exceptfds, POLLPRI);
  return count;
}

hostent* gethostbyname(const char* name) {
  struct Storage {
    std::string name;
    std::vector<std::array<char, 4>> addresses;
    std::vector<char*> list;
    char* aliases[1] = {nullptr};
    hostent entry{};
  };
  thread_local Storage storage;
  if (!name) return Fail(WSAEFAULT), nullptr;
  std::string wanted = name;
  if (wanted.empty()) {
    char local[256] = {};
    if (::gethostname(local, sizeof local - 1) != 0) return Fail(WSANO_RECOVERY), nullptr;
    wanted = local;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(wanted.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    switch (rc) {
      case EAI_AGAIN: t_lastError = WSATRY_AGAIN; break;
      case EAI_FAIL: t_lastError = WSANO_RECOVERY; break;
      case EAI_MEMORY: t_lastError = WSAENOBUFS; break;
      case EAI_SYSTEM: t_lastError = FromErrno(errno); break;
      default: t_lastError = WSAHOST_NOT_FOUND; break;
    }
    return nullptr;
  }
  storage.name = found->ai_canonname ? found->ai_canonname : wanted;
  storage.addresses.clear();
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || !a->ai_addr) continue;
    std::array<char, 4> bytes;
    std::memcpy(bytes.data(), &reinterpret_cast<const ::sockaddr_in*>(a->ai_addr)->sin_addr.s_addr, 4);
    if (std::find(storage.addresses.begin(), storage.addresses.end(), bytes) == storage.addresses.end())
      storage.addresses.push_back(bytes);
  }
  ::freeaddrinfo(found);
  if (storage.addresses.empty()) return Fail(WSANO_DATA), nullptr;
  storage.list.clear();
  for (auto& a : storage.addresses) storage.list.push_back(a.data());
  storage.list.push_back(nullptr);
  storage.entry.h_name = storage.name.data();
  storage.entry.h_aliases = storage.aliases;
  storage.entry.h_addrtype = AF_INET;
  storage.entry.h_length = 4;
  storage.entry.h_addr_list = storage.list.data();
  return &storage.entry;
}

char* inet_ntoa(in_addr in) {
  thread_local char text[16];
  const auto* b = reinterpret_cast<const unsigned char*>(&in.s_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

}  // namespace kx::ws
