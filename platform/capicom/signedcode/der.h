// A small DER writer and a bounds-checked DER reader for the few Authenticode structures that OpenSSL
// has no type for. Single-byte tags and definite lengths only, which is all DER allows here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kxsc {

using Bytes = std::vector<uint8_t>;

namespace der {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kSet = 0x31;
constexpr uint8_t kOid = 0x06;
constexpr uint8_t kNull = 0x05;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kBitString = 0x03;
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kBoolean = 0x01;
constexpr uint8_t kIA5String = 0x16;
constexpr uint8_t kBMPString = 0x1E;
constexpr uint8_t ContextCons(int n) { return static_cast<uint8_t>(0xA0 | n); }
constexpr uint8_t ContextPrim(int n) { return static_cast<uint8_t>(0x80 | n); }

// Tag + length + content.
Bytes Tlv(uint8_t tag, const Bytes& content);
Bytes Tlv(uint8_t tag, const uint8_t* content, size_t n);
// A constructed value holding the given encodings one after the other.
Bytes Cons(uint8_t tag, std::initializer_list<Bytes> parts);
// An OBJECT IDENTIFIER from dotted text; empty on malformed text.
Bytes Oid(const char* dotted);
// The OBJECT IDENTIFIER of an OpenSSL NID; empty when unknown.
Bytes OidOfNid(int nid);
// BMPString content bytes (UTF-16 big endian) of a UTF-16 text.
Bytes Utf16Be(const std::u16string& text);
// The same text little endian, as the engine's own text attributes hold it.
Bytes Utf16Le(const std::u16string& text);
// The text of UTF-16 bytes in either order; an odd last byte is dropped.
std::u16string FromUtf16Be(const uint8_t* p, size_t n);
std::u16string FromUtf16Le(const uint8_t* p, size_t n);

// Reads one encoding at a time from a byte range; every length is checked against what is left.
class Reader {
 public:
  Reader() = default;
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  explicit Reader(const Bytes& b) : p_(b.data()), n_(b.size()) {}

  bool AtEnd() const { return n_ == 0; }
  // Reads the next encoding: its tag, its content as a reader, and (optionally) the whole encoding.
  bool Next(uint8_t* tag, Reader* content, Bytes* whole = nullptr);
  // Reads the next encoding and requires the tag.
  bool Expect(uint8_t tag, Reader* content, Bytes* whole = nullptr);
  // The next tag without consuming it; 0 at the end.
  uint8_t PeekTag() const { return n_ ? p_[0] : 0; }

  const uint8_t* data() const { return p_; }
  size_t size() const { return n_; }
  Bytes ToBytes() const { return Bytes(p_, p_ + n_); }

 private:
  const uint8_t* p_ = nullptr;
  size_t n_ = 0;
};

// Length of the first encoding in a buffer (header and content), 0 when it is not a complete encoding.
size_t EncodedLength(const uint8_t* p, size_t n);

}  // namespace der
}  // namespace kxsc
