// UTF-8 and strings of 16-bit characters, decoded by the platform's one UTF-8 decoder. Both directions clear
// the output first and stop at the first character that has no valid form, answering 0 and keeping what was
// produced before it.
#pragma once

#include <cstddef>
#include <string>

// Bytes written: one to three per character, four for a surrogate pair. A lone surrogate is invalid.
int EncodeUtf8(const char16_t* text, size_t length, std::string& out);
inline int EncodeUtf8(const std::u16string& text, std::string& out) { return EncodeUtf8(text.data(), text.size(), out); }

// 16-bit characters written: one per sequence, two (a surrogate pair) for a value above 0xFFFF. Invalid: a
// continuation byte out of place, a sequence cut short, an overlong form, an encoded surrogate, or a value
// beyond 0x10FFFF (sequences of five and six bytes always are).
int DecodeUtf8(const char* bytes, size_t length, std::u16string& out);
inline int DecodeUtf8(const std::string& bytes, std::u16string& out) { return DecodeUtf8(bytes.data(), bytes.size(), out); }
