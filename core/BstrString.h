// The string value that crosses the boundary to the COM engine: one wide BSTR shared between copies by
// reference counting (a _bstr_t), with a narrow (UTF-8) form made on first request. Allocation failures
// raise _com_error(E_OUTOFMEMORY).
#pragma once

#include <vector>

#include "platform/com/comutil.h"
#include "platform/win32/types.h"

class CBstrString {
 public:
  CBstrString() = default;
  CBstrString(const char* text);  // NOLINT: implicit, as the engine wrappers pass texts
  // copy set: a copy of bstr; clear: takes ownership of bstr (freed with the last reference).
  CBstrString(BSTR bstr, bool copy);
  CBstrString(const _bstr_t& s) : m_str(s) {}  // NOLINT: shares the record
  explicit CBstrString(char ch);
  CBstrString(const CBstrString& other) = default;
  virtual ~CBstrString() = default;

  CBstrString& operator=(const CBstrString& other) = default;
  CBstrString& operator=(const _bstr_t& s);
  CBstrString& operator+=(const CBstrString& other);
  CBstrString& operator+=(char ch);

  UINT GetLength() const { return m_str.length(); }
  bool IsEmpty() const { return GetLength() == 0; }
  // -1 when this string is empty; else a case-insensitive comparison of the narrow form with text.
  int CompareNoCase(const char* text) const;
  // Byte index of the last ch in the narrow form, -1 when absent.
  int ReverseFind(char ch) const;
  // The last n characters (n clamped to 0..GetLength()).
  CBstrString Right(int n) const;

  // The wide string (null for the empty string) and the narrow form (null for the empty string).
  BSTR GetBSTR() const { return static_cast<OLECHAR*>(m_str); }
  const char* GetAnsi() const;
  const _bstr_t& GetBstrT() const { return m_str; }
  operator const OLECHAR*() const { return GetBSTR(); }  // NOLINT
  operator const char*() const { return GetAnsi(); }     // NOLINT
  // Number of copies sharing this string's record (0 for a string without one).
  long GetRefCount() const { return static_cast<long>(m_str.RefCount()); }

 private:
  _bstr_t m_str;
};

class CBstrStringList {
 public:
  CBstrStringList() { m_items.reserve(10); }
  virtual ~CBstrStringList() = default;
  void Add(const CBstrString& s) { m_items.push_back(s); }
  // A copy of element index; the empty string for an index past the end.
  CBstrString GetAt(DWORD index) const { return index < m_items.size() ? m_items[index] : CBstrString(); }
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<CBstrString> m_items;
};

// Rows of three strings held as three parallel lists.
class CStringTripleList {
 public:
  CStringTripleList() = default;
  CStringTripleList(const CStringTripleList& other) { *this = other; }
  virtual ~CStringTripleList() = default;
  CStringTripleList& operator=(const CStringTripleList& other);
  void Add(const char* first, const char* second, const char* third);
  DWORD GetCount() const { return m_first.GetCount(); }
  void RemoveAll();

  CBstrStringList m_first;
  CBstrStringList m_second;
  CBstrStringList m_third;
};
