#include "platform/mfc/cstring.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/win32/errors.h"
#include "platform/win32/heap.h"
#include "platform/win32/textconv.h"

namespace {

std::atomic<kx::StringLoaderFn> g_loader{nullptr};

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

namespace kx {
void SetStringLoader(StringLoaderFn fn) { g_loader.store(fn); }
bool LoadResourceString(UINT id, std::string& out) {
  StringLoaderFn fn = g_loader.load();
  return fn != nullptr && fn(id, out);
}
}  // namespace kx

CString::CString(const char16_t* wide) {
  if (wide) {
    size_t n = 0;
    while (wide[n]) ++n;
    m_s = kx::Utf16ToUtf8(wide, n);
  }
}

CString::CString(const char16_t* wide, int len) {
  if (wide && len > 0) m_s = kx::Utf16ToUtf8(wide, static_cast<size_t>(len));
}

int CString::Compare(const char* s) const { return Sign(std::strcmp(m_s.c_str(), s ? s : "")); }

int CString::CompareNoCase(const char* s) const {
  const char* a = m_s.c_str();
  const char* b = s ? s : "";
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  int len = GetLength();
  first = Clamp(first, 0, len);
  count = Clamp(count, 0, len - first);
  return CString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
  int len = GetLength();
  count = Clamp(count, 0, len);
  return Mid(len - count, count);
}

CString CString::SpanIncluding(const char* set) const {
  size_t n = m_s.find_first_not_of(set ? set : "");
  return CString(m_s.substr(0, n == std::string::npos ? m_s.size() : n));
}

CString CString::SpanExcluding(const char* set) const {
  size_t n = m_s.find_first_of(set ? set : "");
  return CString(m_s.substr(0, n == std::string::npos ? m_s.size() : n));
}

CString CString::Tokenize(const char* delims, int& start) const {
  if (start < 0 || start >= GetLength()) {
    start = -1;
    return CString();
  }
  std::string d = delims ? delims : "";
  size_t from = m_s.find_first_not_of(d, static_cast<size_t>(start));
  if (from == std::string::npos) {
    start = -1;
    return CString();
  }
  size_t to = m_s.find_first_of(d, from);
  if (to == std::string::npos) to = m_s.size();
  start = static_cast<int>(to) + 1;
  return CString(m_s.substr(from, to - from));
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t p = m_s.find(ch, static_cast<size_t>(start));
  return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const char* sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  size_t p = m_s.find(sub, static_cast<size_t>(start));
  return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char ch) const {
  size_t p = m_s.rfind(ch);
  return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::FindOneOf(const char* set) const {
  size_t p = m_s.find_first_of(set ? set : "");
  return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString& CString::MakeUpper() {
  for (auto& c : m_s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}

CString& CString::MakeLower() {
  for (auto& c : m_s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(m_s.begin(), m_s.end());
  return *this;
}

int CString::Replace(char oldCh, char newCh) {
  int n = 0;
  for (auto& c : m_s)
    if (c == oldCh) { c = newCh; ++n; }
  return n;
}

int CString::Replace(const char* oldStr, const char* newStr) {
  if (!oldStr || !*oldStr) return 0;
  std::string from(oldStr), to(newStr ? newStr : "");
  std::string out;
  int n = 0;
  size_t pos = 0;
  for (;;) {
    size_t p = m_s.find(from, pos);
    if (p == std::string::npos) break;
    out.append(m_s, pos, p - pos);
    out += to;
    pos = p + from.size();
    ++n;
  }
  if (n) {
    out.append(m_s, pos, std::string::npos);
    m_s.swap(out);
  }
  return n;
}

int CString::Remove(char ch) {
  size_t before = m_s.size();
  m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
  return static_cast<int>(before - m_s.size());
}

int CString::Insert(int index, char ch) {
  index = Clamp(index, 0, GetLength());
  m_s.insert(m_s.begin() + index, ch);
  return GetLength();
}

int CString::Insert(int index, const char* s) {
  index = Clamp(index, 0, GetLength());
  if (s) m_s.insert(static_cast<size_t>(index), s);
  return GetLength();
}

int CString::Delete(int index, int count) {
  int len = GetLength();
  if (index < 0) index = 0;
  if (index < len && count > 0) m_s.erase(static_cast<size_t>(index), static_cast<size_t>(Clamp(count, 0, len - index)));
  return GetLength();
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_s.size() && IsSpace(m_s[i])) ++i;
  m_s.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(char ch) {
  size_t i = 0;
  while (i < m_s.size() && m_s[i] == ch) ++i;
  m_s.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(const char* set) {
  size_t i = m_s.find_first_not_of(set ? set : "");
  m_s.erase(0, i == std::string::npos ? m_s.size() : i);
  return *this;
}

CString& CString::TrimRight() {
  while (!m_s.empty() && IsSpace(m_s.back())) m_s.pop_back();
  return *this;
}

CString& CString::TrimRight(char ch) {
  while (!m_s.empty() && m_s.back() == ch) m_s.pop_back();
  return *this;
}

CString& CString::TrimRight(const char* set) {
  size_t i = m_s.find_last_not_of(set ? set : "");
  m_s.erase(i == std::string::npos ? 0 : i + 1);
  return *this;
}

void CString::FormatV(const char* fmt, va_list args) {
  if (!fmt) {
    m_s.clear();
    return;
  }
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n < 0) {
    m_s.clear();
    return;
  }
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), fmt, args);
  out.resize(static_cast<size_t>(n));
  m_s.swap(out);
}

void CString::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatV(fmt, args);
  va_end(args);
}

void CString::Format(UINT formatId, ...) {
  std::string fmt;
  kx::LoadResourceString(formatId, fmt);
  va_list args;
  va_start(args, formatId);
  FormatV(fmt.c_str(), args);
  va_end(args);
}

void CString::FormatMessageV(const char* fmt, va_list* args) {
  char* text = nullptr;
  DWORD n = ::FormatMessage(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, fmt ? fmt : "", 0, 0,
                            reinterpret_cast<LPSTR>(&text), 0, args);
  if (n == 0 && GetLastError() == ERROR_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
  m_s.assign(text ? text : "", n);
  if (text) LocalFree(text);
}

void CString::FormatMessage(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatMessageV(fmt, &args);
  va_end(args);
}

void CString::FormatMessage(UINT formatId, ...) {
  std::string fmt;
  kx::LoadResourceString(formatId, fmt);
  va_list args;
  va_start(args, formatId);
  FormatMessageV(fmt.c_str(), &args);
  va_end(args);
}

void AfxFormatStrings(CString& rString, LPCTSTR lpszFormat, LPCTSTR const* rglpsz, int nString) {
  std::string out;
  for (const char* p = lpszFormat ? lpszFormat : ""; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
      int i = p[1] - '1';
      if (i < nString && rglpsz && rglpsz[i]) out += rglpsz[i];
      ++p;
    } else {
      out += *p;
    }
  }
  rString = out;
}

void AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1) {
  std::string fmt;
  kx::LoadResourceString(nIDS, fmt);
  AfxFormatStrings(rString, fmt.c_str(), &lpsz1, 1);
}

void AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2) {
  std::string fmt;
  kx::LoadResourceString(nIDS, fmt);
  LPCTSTR args[2] = {lpsz1, lpsz2};
  AfxFormatStrings(rString, fmt.c_str(), args, 2);
}

void CString::AppendFormat(const char* fmt, ...) {
  CString piece;
  va_list args;
  va_start(args, fmt);
  piece.FormatV(fmt, args);
  va_end(args);
  m_s += piece.m_s;
}

char* CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) m_s.resize(static_cast<size_t>(minLength));
  return m_s.data();
}

char* CString::GetBufferSetLength(int length) {
  m_s.resize(static_cast<size_t>(length < 0 ? 0 : length));
  return m_s.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0) {
    m_s.resize(std::strlen(m_s.c_str()));
  } else {
    m_s.resize(static_cast<size_t>(newLength));
  }
}

BOOL CString::LoadString(UINT id) {
  std::string s;
  if (!kx::LoadResourceString(id, s)) {
    m_s.clear();
    return FALSE;
  }
  m_s.swap(s);
  return TRUE;
}

std::u16string CString::ToUtf16() const { return kx::Utf8ToUtf16(m_s); }

BSTR CString::AllocSysString() const {
  std::u16string w = ToUtf16();
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

BSTR CString::SetSysString(BSTR* target) const {
  std::u16string w = ToUtf16();
  if (target) {
    SysReAllocStringLen(target, w.data(), static_cast<UINT>(w.size()));
    return *target;
  }
  return nullptr;
}

// A C host holds the framework's string only through these (it cannot make the class itself).
extern "C" {
KXAPI CString* CStringNew(void) { return new (std::nothrow) CString(); }
KXAPI const char* CStringText(const CString* string) { return string ? string->GetString() : ""; }
KXAPI void CStringFree(CString* string) { delete string; }
}
