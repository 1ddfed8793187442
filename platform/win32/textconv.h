// UTF-8 ("ANSI") <-> UTF-16 (wide) conversions, used at the COM boundary.
#pragma once

#include <string>

#include "platform/win32/types.h"

namespace kx {

KXAPI std::u16string Utf8ToUtf16(const char* s, size_t len);
inline std::u16string Utf8ToUtf16(const std::string& s) { return Utf8ToUtf16(s.data(), s.size()); }
KXAPI std::string Utf16ToUtf8(const char16_t* s, size_t len);
inline std::string Utf16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

}  // namespace kx
