// The echo request that the host list sends (45 bytes: the ICMP header, a pad byte, the send time and 32 data
// bytes) and the reading of the datagram that answers it.
#pragma once

#include "platform/win32/types.h"

constexpr int kEchoRequestSize = 45;
constexpr int kEchoDataSize = 32;
// The most of a reply datagram (IP header included) that is read.
constexpr int kEchoReplyMax = 321;

// The Internet checksum (RFC 1071) of the bytes with 16-bit words summed in host order; stored as it is, in
// host order, it makes the checksum over the whole message 0.
WORD EchoChecksum(const BYTE* data, int length);

// The request with its identifier, sequence number and send time (all in host order) and its checksum.
void BuildEchoRequest(WORD identifier, WORD sequence, DWORD sendTime, BYTE (&request)[kEchoRequestSize]);

struct EchoReply {
  int ttl = 0;
  DWORD sendTime = 0;
};

// Whether the datagram (IP header first) is the echo reply to our request: type 0, our identifier and sequence
// number, from the address we sent to (network order), long enough to hold the echoed send time. Anything else
// (our own request seen on the way out, other programs' pings, error reports) is not.
bool ReadEchoReply(const BYTE* datagram, int length, WORD identifier, WORD sequence, ULONG fromAddress,
                   EchoReply& reply);
