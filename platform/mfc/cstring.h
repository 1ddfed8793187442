// The framework's string: a byte string whose "ANSI" code page is UTF-8.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/win32/types.h"

class KXAPI CString {
 public:
  CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString(const char* s) : m_s(s ? s : "") {}  // NOLINT: implicit as in the framework
  CString(const char* s, int len) : m_s(s ? std::string(s, len > 0 ? static_cast<size_t>(len) : 0) : std::string()) {}
  CString(const unsigned char* s) : CString(reinterpret_cast<const char*>(s)) {}
  CString(char ch, int repeat = 1) : m_s(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}
  CString(const char16_t* wide);  // NOLINT: converts UTF-16 to UTF-8
  CString(const char16_t* wide, int len);
  CString(const std::string& s) : m_s(s) {}  // NOLINT
  CString(std::string_view s) : m_s(s) {}    // NOLINT

  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const char* s) { m_s = s ? s : ""; return *this; }
  CString& operator=(char ch) { m_s.assign(1, ch); return *this; }
  CString& operator=(const char16_t* wide) { *this = CString(wide); return *this; }
  CString& operator=(const std::string& s) { m_s = s; return *this; }

  CString& operator+=(const CString& s) { m_s += s.m_s; return *this; }
  CString& operator+=(const char* s) { if (s) m_s += s; return *this; }
  CString& operator+=(char ch) { m_s += ch; return *this; }
  void Append(const char* s, int len) { if (s && len > 0) m_s.append(s, static_cast<size_t>(len)); }
  void Append(const CString& s) { m_s += s.m_s; }
  void AppendChar(char ch) { m_s += ch; }

  operator const char*() const { return m_s.c_str(); }  // NOLINT: the framework's LPCTSTR conversion
  const char* GetString() const { return m_s.c_str(); }
  const std::string& str() const { return m_s; }
  std::string& str() { return m_s; }

  int GetLength() const { return static_cast<int>(m_s.size()); }
  bool IsEmpty() const { return m_s.empty(); }
  void Empty() { m_s.clear(); }
  char GetAt(int i) const { return m_s.at(static_cast<size_t>(i)); }
  void SetAt(int i, char ch) { m_s.at(static_cast<size_t>(i)) = ch; }
  char operator[](int i) const { return GetAt(i); }

  int Compare(const char* s) const;
  int CompareNoCase(const char* s) const;
  int Collate(const char* s) const { return Compare(s); }
  int CollateNoCase(const char* s) const { return CompareNoCase(s); }

  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Left(int count) const;
  CString Right(int count) const;
  CString SpanIncluding(const char* set) const;
  CString SpanExcluding(const char* set) const;
  CString Tokenize(const char* delims, int& start) const;

  int Find(char ch, int start = 0) const;
  int Find(const char* sub, int start = 0) const;
  int ReverseFind(char ch) const;
  int FindOneOf(const char* set) const;

  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();
  int Replace(char oldCh, char newCh);
  int Replace(const char* oldStr, const char* newStr);
  int Remove(char ch);
  int Insert(int index, char ch);
  int Insert(int index, const char* s);
  int Delete(int index, int count = 1);
  CString& TrimLeft();
  CString& TrimLeft(char ch);
  CString& TrimLeft(const char* set);
  CString& TrimRight();
  CString& TrimRight(char ch);
  CString& TrimRight(const char* set);
  CString& Trim() { TrimRight(); return TrimLeft(); }
  CString& Trim(char ch) { TrimRight(ch); return TrimLeft(ch); }
  CString& Trim(const char* set) { TrimRight(set); return TrimLeft(set); }

  void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(const char* fmt, va_list args);
  void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // Formats the resource string with this id.
  void Format(UINT formatId, ...);
  // Message-style formatting: inserts %1..%99 take string arguments ("%1!d!" gives a printf conversion).
  void FormatMessage(const char* fmt, ...);
  void FormatMessage(UINT formatId, ...);
  void FormatMessageV(const char* fmt, va_list* args);

  // Direct buffer access: GetBuffer(n) gives at least n writable bytes plus a terminator; ReleaseBuffer(-1)
  // takes the length from the terminator.
  char* GetBuffer(int minLength = 0);
  char* GetBufferSetLength(int length);
  void ReleaseBuffer(int newLength = -1);
  void FreeExtra() { m_s.shrink_to_fit(); }
  void Preallocate(int length) { if (length > 0) m_s.reserve(static_cast<size_t>(length)); }

  // Loads the string with this id from the current resource module; FALSE (and empty) when there is none.
  BOOL LoadString(UINT id);
  // A BSTR (UTF-16) copy that the caller frees with SysFreeString.
  BSTR AllocSysString() const;
  BSTR SetSysString(BSTR* target) const;
  std::u16string ToUtf16() const;

  friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
  friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
  friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
  friend CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
  friend CString operator+(char a, const CString& b) { CString r(a); r += b; return r; }

  friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
  friend bool operator!=(const CString& a, const char* b) { return a.Compare(b) != 0; }
  friend bool operator!=(const char* a, const CString& b) { return b.Compare(a) != 0; }
  friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }
  friend bool operator>(const CString& a, const CString& b) { return a.m_s > b.m_s; }
  friend bool operator<=(const CString& a, const CString& b) { return a.m_s <= b.m_s; }
  friend bool operator>=(const CString& a, const CString& b) { return a.m_s >= b.m_s; }

 private:
  std::string m_s;
};

using CStringA = CString;

// Loads the resource string and puts the texts in place of "%1" (and "%2"); other text stays as it is.
KXAPI void AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1);
KXAPI void AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2);
// The same on a template already in hand; inserts %1..%9 are taken from the array.
KXAPI void AfxFormatStrings(CString& rString, LPCTSTR lpszFormat, LPCTSTR const* rglpsz, int nString);

namespace kx {
// The framework installs the resource-string loader; until then LoadString finds nothing.
using StringLoaderFn = bool (*)(UINT id, std::string& out);
KXAPI void SetStringLoader(StringLoaderFn fn);
KXAPI bool LoadResourceString(UINT id, std::string& out);
}  // namespace kx

// The string for a C host, which cannot make the class itself: made empty, read as UTF-8 text (valid until the
// string changes or is freed), freed.
extern "C" {
KXAPI CString* CStringNew(void);
KXAPI const char* CStringText(const CString* string);
KXAPI void CStringFree(CString* string);
}
