// UTF-8 ("ANSI") <-> UTF-16 (wide) conversions, used at the COM boundary.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/types.h"

namespace kx {

// The one UTF-8 decoder of the tree: the sequence at s (n > 0 bytes left) decoded into *cp; its length in bytes,
// or 0 when the bytes there are not well formed (a stray continuation byte, a lead byte of no sequence, a
// sequence cut short, an overlong form, a surrogate, a value above U+10FFFF). Each reader decides what a 0
// means for it: a replacement character, the end of the text, or a refusal.
KXAPI int DecodeUtf8(const char* s, size_t n, char32_t* cp);

// The one case-insensitive equality of the tree's names (classes, properties, extensions, list texts): ASCII
// letters compare without regard to case, every other byte as it is.
KXAPI bool EqualNoCase(std::string_view a, std::string_view b);

// Invalid UTF-8 bytes become U+FFFD, one per byte.
KXAPI std::u16string Utf8ToUtf16(const char* s, size_t len);
inline std::u16string Utf8ToUtf16(const std::string& s) { return Utf8ToUtf16(s.data(), s.size()); }
KXAPI std::string Utf16ToUtf8(const char16_t* s, size_t len);
inline std::string Utf16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

}  // namespace kx
