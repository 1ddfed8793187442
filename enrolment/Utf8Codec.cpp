#include "enrolment/Utf8Codec.h"

#include <cstdint>

namespace {

// Per sequence length (1 to 6): lead byte mask and value, value mask, smallest value of that length.
struct Form {
  unsigned char leadMask, leadValue;
  uint32_t valueMask, smallest;
};
constexpr Form kForms[] = {
    {0x80, 0x00, 0x7F, 0},           {0xE0, 0xC0, 0x7FF, 0x80},          {0xF0, 0xE0, 0xFFFF, 0x800},
    {0xF8, 0xF0, 0x1FFFFF, 0x10000}, {0xFC, 0xF8, 0x3FFFFFF, 0x200000}, {0xFE, 0xFC, 0x7FFFFFFF, 0x4000000},
};

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
    bytes[0] = static_cast<unsigned char>(kForms[n - 1].leadValue | c);
    out.append(reinterpret_cast<const char*>(bytes), n);
  }
  return static_cast<int>(out.size());
}

int DecodeUtf8(const char* bytes, size_t length, std::u16string& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < length;) {
    int n = 0;
    while (n < 6 && (p[i] & kForms[n].leadMask) != kForms[n].leadValue) ++n;
    if (n == 6 || i + n + 1 > length) return 0;
    uint32_t c = p[i] & (kForms[n].valueMask >> (6 * n));
    for (int k = 1; k <= n; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return 0;
      c = c << 6 | (p[i + k] & 0x3F);
    }
    if (c < kForms[n].smallest || c > 0x10FFFF || IsHigh(c) || IsLow(c)) return 0;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n + 1;
  }
  return static_cast<int>(out.size());
}
