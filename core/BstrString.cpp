#include "core/BstrString.h"

#include <cstring>
#include <string>

#include "platform/com/bstr.h"
#include "platform/mfc/cstring.h"

namespace {

// A new string of len wide characters (raises _com_error on allocation failure).
_bstr_t FromWide(const OLECHAR* s, UINT len) {
  BSTR b = SysAllocStringLen(s, len);
  if (!b) _com_issue_error(E_OUTOFMEMORY);
  return _bstr_t(b, false);
}

}  // namespace

CBstrString::CBstrString(const char* text) : m_str(text) {}

CBstrString::CBstrString(BSTR bstr, bool copy) : m_str(bstr, copy) {}

CBstrString::CBstrString(char ch) {
  char text[2] = {ch, 0};
  m_str = _bstr_t(text);
  if (m_str.length() == 0) {  // a lone byte that is not a character on its own keeps its value
    OLECHAR w = static_cast<unsigned char>(ch);
    m_str = FromWide(&w, 1);
  }
}

CBstrString& CBstrString::operator=(const _bstr_t& s) {
  _bstr_t copy(s);
  m_str = copy;
  return *this;
}

CBstrString& CBstrString::operator+=(const CBstrString& other) {
  m_str += other.m_str;
  return *this;
}

CBstrString& CBstrString::operator+=(char ch) { return *this += CBstrString(ch); }

const char* CBstrString::GetAnsi() const {
  if (!static_cast<const OLECHAR*>(m_str)) return nullptr;
  return static_cast<const char*>(m_str);
}

int CBstrString::CompareNoCase(const char* text) const {
  if (IsEmpty()) return -1;
  return CString(GetAnsi()).CompareNoCase(text ? text : "");
}

int CBstrString::ReverseFind(char ch) const {
  const char* a = GetAnsi();
  if (!a || !ch) return -1;
  const char* p = std::strrchr(a, ch);
  return p ? static_cast<int>(p - a) : -1;
}

CBstrString CBstrString::Right(int n) const {
  int len = static_cast<int>(GetLength());
  if (n < 0) n = 0;
  if (n > len) n = len;
  // Taken from the wide form: a character count does not index the multibyte narrow form.
  BSTR w = GetBSTR();
  return CBstrString(FromWide(w ? w + (len - n) : nullptr, static_cast<UINT>(n)));
}

CStringTripleList& CStringTripleList::operator=(const CStringTripleList& other) {
  if (&other == this) return *this;
  RemoveAll();
  for (DWORD i = 0; i < other.GetCount(); ++i) {
    m_first.Add(other.m_first.GetAt(i));
    m_second.Add(other.m_second.GetAt(i));
    m_third.Add(other.m_third.GetAt(i));
  }
  return *this;
}

void CStringTripleList::Add(const char* first, const char* second, const char* third) {
  m_first.Add(CBstrString(first));
  m_second.Add(CBstrString(second));
  m_third.Add(CBstrString(third));
}

void CStringTripleList::RemoveAll() {
  m_first.RemoveAll();
  m_second.RemoveAll();
  m_third.RemoveAll();
}
