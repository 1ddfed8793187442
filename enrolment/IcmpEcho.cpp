#include "enrolment/IcmpEcho.h"

#include <cstring>

namespace {

constexpr BYTE kEchoRequestType = 8;
constexpr BYTE kEchoReplyType = 0;
constexpr int kSendTimeOffset = 9;
constexpr int kDataOffset = 13;

WORD Word(const BYTE* at) {
  WORD w;
  std::memcpy(&w, at, sizeof w);
  return w;
}

}  // namespace

WORD EchoChecksum(const BYTE* data, int length) {
  DWORD sum = 0;
  int i = 0;
  for (; i + 1 < length; i += 2) sum += Word(data + i);
  if (i < length) {
    const BYTE last[2] = {data[i], 0};
    sum += Word(last);
  }
  sum = (sum >> 16) + (sum & 0xFFFF);
  sum += sum >> 16;
  return static_cast<WORD>(~sum);
}

void BuildEchoRequest(WORD identifier, WORD sequence, DWORD sendTime, BYTE (&request)[kEchoRequestSize]) {
  std::memset(request, 0, sizeof request);
  request[0] = kEchoRequestType;
  std::memcpy(request + 4, &identifier, sizeof identifier);
  std::memcpy(request + 6, &sequence, sizeof sequence);
  std::memcpy(request + kSendTimeOffset, &sendTime, sizeof sendTime);
  for (int i = 0; i < kEchoDataSize; ++i) request[kDataOffset + i] = static_cast<BYTE>(' ' + i);
  const WORD checksum = EchoChecksum(request, kEchoRequestSize);
  std::memcpy(request + 2, &checksum, sizeof checksum);
}

bool ReadEchoReply(const BYTE* datagram, int length, WORD identifier, WORD sequence, ULONG fromAddress,
                   EchoReply& reply) {
  if (!datagram || length < 20) return false;
  const int header = (datagram[0] & 0x0F) * 4;
  if (header < 20 || length < header + kSendTimeOffset + 4) return false;
  ULONG source;
  std::memcpy(&source, datagram + 12, sizeof source);
  const BYTE* icmp = datagram + header;
  if (icmp[0] != kEchoReplyType || Word(icmp + 4) != identifier || Word(icmp + 6) != sequence ||
      source != fromAddress)
    return false;
  reply.ttl = datagram[8];
  std::memcpy(&reply.sendTime, icmp + kSendTimeOffset, sizeof reply.sendTime);
  return true;
}
