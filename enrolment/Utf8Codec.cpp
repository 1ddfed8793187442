#include "enrolment/Utf8Codec.h"

#include <cstdint>

#include "platform/win32/textconv.h"

namespace {

// Lead byte of a sequence of 1 to 4 bytes.
constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};

bool IsHigh(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int EncodeUtf8(const char16_t* text, size_t length, std::string& out) {
  out.clear();
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (IsHigh(c) && i + 1 < length && IsLow(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsHigh(c) || IsLow(c)) {
      return 0;
    }
    int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    unsigned char bytes[4];
    for (int k = n - 1; k > 0; --k, c >>= 6) bytes[k] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    bytes[0] = static_cast<unsigned char>(kLead[n - 1] | c);
    out.append(reinterpret_cast<const char*>(bytes), n);
  }
  return static_cast<int>(out.size());
}

int DecodeUtf8(const char* bytes, size_t length, std::u16string& out) {
  out.clear();
  for (size_t i = 0; i < length;) {
    char32_t c = 0;
    const int n = kx::DecodeUtf8(bytes + i, length - i, &c);
    if (n == 0) return 0;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<size_t>(n);
  }
  return static_cast<int>(out.size());
}
