#include "platform/capicom/signedcode/der.h"

#include <openssl/objects.h>

namespace kxsc::der {
namespace {

void AppendLength(Bytes& out, size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
    return;
  }
  uint8_t tmp[sizeof(size_t)];
  int k = 0;
  while (n) {
    tmp[k++] = static_cast<uint8_t>(n & 0xFF);
    n >>= 8;
  }
  out.push_back(static_cast<uint8_t>(0x80 | k));
  while (k) out.push_back(tmp[--k]);
}

// Parses tag and length; returns the header size, 0 when malformed or when the content does not fit.
size_t Header(const uint8_t* p, size_t n, size_t* contentLen) {
  if (n < 2) return 0;
  if ((p[0] & 0x1F) == 0x1F) return 0;  // multi-byte tags never occur here
  size_t len = p[1];
  size_t hdr = 2;
  if (len & 0x80) {
    size_t k = len & 0x7F;
    if (k == 0 || k > 4 || n < 2 + k) return 0;  // indefinite or absurd lengths
    if (p[2] == 0) return 0;                      // not minimal
    len = 0;
    for (size_t i = 0; i < k; ++i) len = (len << 8) | p[2 + i];
    if (len < 0x80) return 0;
    hdr += k;
  }
  if (len > n - hdr) return 0;
  *contentLen = len;
  return hdr;
}

}  // namespace

Bytes Tlv(uint8_t tag, const uint8_t* content, size_t n) {
  Bytes out;
  out.reserve(n + 6);
  out.push_back(tag);
  AppendLength(out, n);
  out.insert(out.end(), content, content + n);
  return out;
}

Bytes Tlv(uint8_t tag, const Bytes& content) { return Tlv(tag, content.data(), content.size()); }

Bytes Cons(uint8_t tag, std::initializer_list<Bytes> parts) {
  Bytes content;
  for (const Bytes& p : parts) content.insert(content.end(), p.begin(), p.end());
  return Tlv(tag, content);
}

Bytes Oid(const char* dotted) {
  ASN1_OBJECT* obj = OBJ_txt2obj(dotted, 1);
  if (!obj) return {};
  int n = i2d_ASN1_OBJECT(obj, nullptr);
  Bytes out(n > 0 ? n : 0);
  unsigned char* p = out.data();
  if (n <= 0 || i2d_ASN1_OBJECT(obj, &p) != n) out.clear();
  ASN1_OBJECT_free(obj);
  return out;
}

Bytes OidOfNid(int nid) {
  const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
  int n = obj ? i2d_ASN1_OBJECT(obj, nullptr) : 0;
  Bytes out(n > 0 ? n : 0);
  unsigned char* p = out.data();
  if (n <= 0 || i2d_ASN1_OBJECT(obj, &p) != n) out.clear();
  return out;
}

namespace {
Bytes Utf16(const std::u16string& text, bool bigEndian) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    const uint8_t hi = static_cast<uint8_t>(c >> 8), lo = static_cast<uint8_t>(c & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

std::u16string FromUtf16(const uint8_t* p, size_t n, bool bigEndian) {
  std::u16string text;
  text.reserve(n / 2);
  for (size_t i = 0; i + 1 < n; i += 2) {
    const uint8_t first = p[i], second = p[i + 1];
    text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}
}  // namespace

Bytes Utf16Be(const std::u16string& text) { return Utf16(text, true); }
Bytes Utf16Le(const std::u16string& text) { return Utf16(text, false); }
std::u16string FromUtf16Be(const uint8_t* p, size_t n) { return FromUtf16(p, n, true); }
std::u16string FromUtf16Le(const uint8_t* p, size_t n) { return FromUtf16(p, n, false); }

bool Reader::Next(uint8_t* tag, Reader* content, Bytes* whole) {
  size_t len = 0;
  size_t hdr = Header(p_, n_, &len);
  if (!hdr) return false;
  if (tag) *tag = p_[0];
  if (content) *content = Reader(p_ + hdr, len);
  if (whole) whole->assign(p_, p_ + hdr + len);
  p_ += hdr + len;
  n_ -= hdr + len;
  return true;
}

bool Reader::Expect(uint8_t tag, Reader* content, Bytes* whole) {
  if (PeekTag() != tag) return false;
  return Next(nullptr, content, whole);
}

size_t EncodedLength(const uint8_t* p, size_t n) {
  size_t len = 0;
  size_t hdr = Header(p, n, &len);
  return hdr ? hdr + len : 0;
}

}  // namespace kxsc::der
