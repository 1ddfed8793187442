#include "platform/win32/textconv.h"

namespace kx {

int DecodeUtf8(const char* s, size_t n, char32_t* cp) {
  if (!s || n == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  const unsigned char b = p[0];
  const int len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || static_cast<size_t>(len) > n) return 0;
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
  for (int k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (p[k] & 0x3Fu);
  }
  static const char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  if (cp) *cp = c;
  return len;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Lone surrogates become U+FFFD on the way back.
std::u16string Utf8ToUtf16(const char* s, size_t len) {
  std::u16string out;
  out.reserve(len);
  size_t i = 0;
  while (i < len) {
    char32_t c = 0;
    const int n = DecodeUtf8(s + i, len - i, &c);
    if (n == 0) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += static_cast<size_t>(n);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* s, size_t len) {
  std::string out;
  out.reserve(len);
  for (size_t i = 0; i < len; ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < len && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace kx
