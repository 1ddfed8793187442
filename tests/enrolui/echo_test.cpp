// The echo request's bytes and checksum, and which datagrams count as the reply to a request.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "enrolment/IcmpEcho.h"
#include "platform/services/winsock.h"

namespace {

// RFC 1071 in network order, written apart from the code under test: over a correct message it gives 0.
unsigned InternetSum(const BYTE* data, size_t length) {
  unsigned sum = 0;
  for (size_t i = 0; i < length; i += 2) sum += (data[i] << 8) + (i + 1 < length ? data[i + 1] : 0);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return ~sum & 0xFFFF;
}

ULONG Address(const char* dotted) {
  unsigned a, b, c, d;
  sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
  const BYTE bytes[4] = {BYTE(a), BYTE(b), BYTE(c), BYTE(d)};
  ULONG value;
  std::memcpy(&value, bytes, 4);
  return value;
}

// An IPv4 datagram of headerLength bytes of header (TTL, source) around an ICMP message.
std::vector<BYTE> Datagram(const BYTE* icmp, size_t length, int headerLength, BYTE ttl, const char* source) {
  std::vector<BYTE> d(headerLength + length, 0);
  d[0] = static_cast<BYTE>(0x40 | (headerLength / 4));
  d[8] = ttl;
  d[9] = 1;
  const ULONG from = Address(source);
  std::memcpy(&d[12], &from, 4);
  std::memcpy(&d[headerLength], icmp, length);
  return d;
}

}  // namespace

TEST(EchoRequest, LayoutAndChecksum) {
  BYTE request[kEchoRequestSize];
  BuildEchoRequest(1, 1, 0, request);
  EXPECT_EQ(request[0], 8);
  EXPECT_EQ(request[1], 0);
  EXPECT_EQ(request[2], 0xF3);
  EXPECT_EQ(request[3], 0x0C);
  EXPECT_EQ(request[4], 1);  // identifier and sequence in host (little-endian) order
  EXPECT_EQ(request[5], 0);
  EXPECT_EQ(request[6], 1);
  EXPECT_EQ(request[7], 0);
  EXPECT_EQ(request[8], 0);
  for (int i = 0; i < kEchoDataSize; ++i) EXPECT_EQ(request[13 + i], 0x20 + i) << i;
  EXPECT_EQ(InternetSum(request, sizeof request), 0u);

  // Other values: the send time lands at offset 9 and the message still sums to 0.
  BuildEchoRequest(0xBEEF, 0x1234, 0x89ABCDEF, request);
  DWORD time;
  std::memcpy(&time, request + 9, 4);
  EXPECT_EQ(time, 0x89ABCDEFu);
  EXPECT_EQ(InternetSum(request, sizeof request), 0u);
}

TEST(EchoRequest, ChecksumOfOddLengths) {
  // The odd last byte counts as that byte followed by a zero byte.
  const BYTE odd[] = {0x01, 0x02, 0x03};
  const BYTE even[] = {0x01, 0x02, 0x03, 0x00};
  EXPECT_EQ(EchoChecksum(odd, 3), EchoChecksum(even, 4));
  const BYTE ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(EchoChecksum(ones, 4), 0);
  EXPECT_EQ(EchoChecksum(nullptr, 0), 0xFFFF);
}

TEST(EchoReply, OnlyTheAnswerToOurRequestCounts) {
  BYTE request[kEchoRequestSize];
  BuildEchoRequest(7, 9, 123456, request);
  BYTE reply[kEchoRequestSize];
  std::memcpy(reply, request, sizeof reply);
  reply[0] = 0;  // echo reply
  BYTE otherIdent[kEchoRequestSize], otherSequence[kEchoRequestSize];
  BuildEchoRequest(8, 9, 0, otherIdent);
  otherIdent[0] = 0;
  BuildEchoRequest(7, 10, 0, otherSequence);
  otherSequence[0] = 0;
  BYTE unreachable[kEchoRequestSize] = {3, 1};

  struct Case {
    const char* what;
    std::vector<BYTE> datagram;
    bool matches;
  } cases[] = {
      {"the reply", Datagram(reply, sizeof reply, 20, 64, "127.0.0.1"), true},
      {"the reply behind IP options", Datagram(reply, sizeof reply, 24, 57, "127.0.0.1"), true},
      {"our own request seen on the way out", Datagram(request, sizeof request, 20, 64, "127.0.0.1"), false},
      {"another program's identifier", Datagram(otherIdent, sizeof otherIdent, 20, 64, "127.0.0.1"), false},
      {"a late reply to an earlier request", Datagram(otherSequence, sizeof otherSequence, 20, 64, "127.0.0.1"),
       false},
      {"an error report", Datagram(unreachable, sizeof unreachable, 20, 64, "127.0.0.1"), false},
      {"from another host", Datagram(reply, sizeof reply, 20, 64, "10.1.2.3"), false},
      {"cut before the send time", Datagram(reply, 12, 20, 64, "127.0.0.1"), false},
      {"a header length below 20", Datagram(reply, sizeof reply, 16, 64, "127.0.0.1"), false},
  };
  for (const Case& c : cases) {
    EchoReply out;
    EXPECT_EQ(ReadEchoReply(c.datagram.data(), static_cast<int>(c.datagram.size()), 7, 9, Address("127.0.0.1"), out),
              c.matches)
        << c.what;
    if (c.matches) {
      EXPECT_EQ(out.ttl, c.datagram[8]) << c.what;
      EXPECT_EQ(out.sendTime, 123456u) << c.what;
    }
  }
}

TEST(Sockets, NamesAndErrorsInThePlatformsShape) {
  namespace ws = kx::ws;
  ws::WSADATA data;
  ASSERT_EQ(ws::WSAStartup(MAKEWORD(2, 2), &data), 0);
  // Dotted addresses resolve without a name server; an empty label cannot be asked for.
  ws::hostent* entry = ws::gethostbyname("127.0.0.1");
  ASSERT_NE(entry, nullptr);
  ASSERT_EQ(entry->h_length, 4);
  ws::in_addr address;
  std::memcpy(&address.s_addr, entry->h_addr_list[0], 4);
  EXPECT_STREQ(ws::inet_ntoa(address), "127.0.0.1");
  EXPECT_EQ(ws::gethostbyname("bad..host"), nullptr);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAHOST_NOT_FOUND);

  ws::SetSocketFailureForTests(ws::WSAEACCES);
  EXPECT_EQ(ws::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP), ws::INVALID_SOCKET);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEACCES);
  ws::SetSocketFailureForTests(0);

  EXPECT_EQ(ws::closesocket(12345), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
  EXPECT_EQ(ws::WSACleanup(), 0);
}

namespace {

// Ping sockets open in this network namespace (/proc/net/icmp lists them after its heading).
int OpenPingSockets() {
  FILE* f = fopen("/proc/net/icmp", "r");
  if (!f) return 0;
  int lines = 0;
  for (int c; (c = fgetc(f)) != EOF;) lines += c == '\n';
  fclose(f);
  return lines > 0 ? lines - 1 : 0;
}

}  // namespace

// One echo of 127.0.0.1 through the platform's sockets: whichever kind of socket stands behind it, the reply
// is read with an IP header in front and carries the identifier that was sent.
TEST(Sockets, EchoOfLoopback) {
  namespace ws = kx::ws;
  const int before = OpenPingSockets();
  const ws::SOCKET sock = ws::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (sock == ws::INVALID_SOCKET) GTEST_SKIP() << "no ICMP socket here: " << ws::WSAGetLastError();
  BYTE request[kEchoRequestSize];
  BuildEchoRequest(0x4B58, 0x0102, 777, request);
  ws::sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = Address("127.0.0.1");
  ASSERT_EQ(ws::sendto(sock, reinterpret_cast<const char*>(request), sizeof request, 0,
                       reinterpret_cast<const ws::sockaddr*>(&to), sizeof to),
            kEchoRequestSize);
  // A ping socket is listed once it has sent.
  if (const char* expect = getenv("KX_EXPECT_PING_SOCKET")) {
    EXPECT_EQ(OpenPingSockets() > before, std::string(expect) == "1");
  }
  bool answered = false;
  for (int attempt = 0; attempt < 4 && !answered; ++attempt) {
    ws::fd_set readable{};
    readable.fd_count = 1;
    readable.fd_array[0] = sock;
    ws::timeval wait{2, 0};
    ASSERT_EQ(ws::select(0, &readable, nullptr, nullptr, &wait), 1);
    ASSERT_EQ(readable.fd_count, 1u);
    BYTE datagram[kEchoReplyMax];
    ws::sockaddr_in from{};
    int fromLength = sizeof from;
    const int n = ws::recvfrom(sock, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                               reinterpret_cast<ws::sockaddr*>(&from), &fromLength);
    ASSERT_GT(n, 0) << ws::WSAGetLastError();
    EXPECT_STREQ(ws::inet_ntoa(from.sin_addr), "127.0.0.1");
    EchoReply reply;
    answered = ReadEchoReply(datagram, n, 0x4B58, 0x0102, Address("127.0.0.1"), reply);
    if (answered) {
      EXPECT_EQ(n, 20 + kEchoRequestSize);
      EXPECT_EQ(reply.sendTime, 777u);
      EXPECT_GT(reply.ttl, 0);
      EXPECT_EQ(InternetSum(datagram, 20), 0u) << "the IP header's checksum";
      EXPECT_EQ(InternetSum(datagram + 20, n - 20), 0u) << "the ICMP checksum";
    }
  }
  EXPECT_TRUE(answered);
  EXPECT_EQ(ws::closesocket(sock), 0);
}

// Both kinds of ICMP socket, each in a network namespace of its own whose ping_group_range allows the
// unprivileged kind or not (root only).
TEST(Sockets, BothKindsOfIcmpSocket) {
  if (geteuid() != 0 || system("unshare -n ip link set lo up >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root, unshare and ip";
  for (const char* kind : {"1", "0"}) {
    const std::string range = std::string(kind) == "1" ? "0 2147483647" : "1 0";
    const std::string command = "KX_EXPECT_PING_SOCKET=" + std::string(kind) +
                                " unshare -n sh -c 'ip link set lo up && sysctl -qw net.ipv4.ping_group_range=\"" + range +
                                "\" && exec /proc/" + std::to_string(getpid()) +
                                "/exe --gtest_filter=Sockets.EchoOfLoopback' 2>&1";
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  }
}
