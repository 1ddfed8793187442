// Sockets in the shape of the platform's Winsock: the calls, structures and error numbers the ICMP echo test
// and the enrolment client use. They live in namespace kx::ws because several names (socket, select, sendto,
// recvfrom, gethostbyname, inet_ntoa) are also the C library's.
//
// An ICMP socket (AF_INET, SOCK_RAW, IPPROTO_ICMP) is what the platform gives a program that pings: every
// datagram read from it starts with its IP header. Here it is an unprivileged ICMP datagram socket when the
// user's group may open one (net.ipv4.ping_group_range), otherwise a raw socket (root or CAP_NET_RAW). On the
// datagram kind the kernel chooses the echo identifier and hands back the bare ICMP message; the socket layer
// hides both: replies are read with an IP header in front (time to live from the kernel) and carry the
// identifier the caller sent.
//
// Names are resolved with getaddrinfo (IPv4 only). Errors are the platform's numbers (WSAEACCES, ...), kept per
// thread for WSAGetLastError. No start-up is needed; WSAStartup and WSACleanup only count.
#pragma once

#include "platform/win32/types.h"

// AF_INET, SOCK_RAW and IPPROTO_ICMP have the same numbers on both systems: the C library's are used.
#include <netinet/in.h>
#include <sys/socket.h>

namespace kx::ws {

using SOCKET = UINT_PTR;
inline constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
inline constexpr int SOCKET_ERROR = -1;

// Error numbers (WSAGetLastError).
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSASYSCALLFAILURE = 10107;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
};

struct in_addr {
  ULONG s_addr;  // network byte order
};

struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  short sin_family;
  USHORT sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;  // null-terminated; each entry h_length bytes in network order
};

struct timeval {
  long tv_sec;
  long tv_usec;
};

inline constexpr int kFdSetSize = 64;
struct fd_set {
  UINT fd_count;
  SOCKET fd_array[kFdSetSize];
};

KXAPI int WSAStartup(WORD versionRequested, WSADATA* data);
KXAPI int WSACleanup();
KXAPI int WSAGetLastError();
KXAPI void WSASetLastError(int error);

KXAPI SOCKET socket(int af, int type, int protocol);
KXAPI int closesocket(SOCKET s);
KXAPI int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
// A datagram that does not fit is cut to len bytes and reported as WSAEMSGSIZE.
KXAPI int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
// nfds is ignored; each set keeps only its ready sockets. A null timeout waits without limit.
KXAPI int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout);
// IPv4 addresses of a name or dotted address (the local host for an empty name), in storage of the calling
// thread that the next call replaces; null with WSAHOST_NOT_FOUND (or another WSA resolver error).
KXAPI hostent* gethostbyname(const char* name);
// Dotted form in a buffer of the calling thread.
KXAPI char* inet_ntoa(in_addr in);

// Test switch: while non-zero, socket() fails with this error number.
KXAPI void SetSocketFailureForTests(int wsaError);

}  // namespace kx::ws
