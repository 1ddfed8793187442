#include "core/BstrString.h"

#include <atomic>
#include <cstring>
#include <string>

#include "platform/com/bstr.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/textconv.h"

struct CBstrString::Record {
  BSTR wide = nullptr;
  std::atomic<char*> ansi{nullptr};
  std::atomic<long> refs{1};
};

CBstrString::Record* CBstrString::MakeRecord(BSTR owned) {
  Record* r = new Record;
  r->wide = owned;
  return r;
}

CBstrString::Record* CBstrString::FromWide(const OLECHAR* s, UINT len) {
  BSTR b = SysAllocStringLen(s, len);
  if (!b) throw std::bad_alloc();
  try {
    return MakeRecord(b);
  } catch (...) {
    SysFreeString(b);
    throw;
  }
}

CBstrString::CBstrString(const char* text) {
  if (!text) {
    m_pRecord = MakeRecord(nullptr);
    return;
  }
  std::u16string w = kx::Utf8ToUtf16(text, std::strlen(text));
  m_pRecord = FromWide(w.data(), static_cast<UINT>(w.size()));
}

CBstrString::CBstrString(BSTR bstr, bool copy) {
  if (copy && bstr)
    m_pRecord = FromWide(bstr, SysStringLen(bstr));
  else
    m_pRecord = MakeRecord(bstr);
}

CBstrString::CBstrString(char ch) {
  char text[2] = {ch, 0};
  std::u16string w = kx::Utf8ToUtf16(text, 1);
  if (w.empty()) w.push_back(static_cast<unsigned char>(ch));  // a lone byte that is not UTF-8 on its own
  m_pRecord = FromWide(w.data(), static_cast<UINT>(w.size()));
}

CBstrString::CBstrString(const CBstrString& other) : m_pRecord(other.m_pRecord) {
  if (m_pRecord) m_pRecord->refs.fetch_add(1);
}

CBstrString::~CBstrString() { Release(); }

void CBstrString::Release() {
  if (m_pRecord && m_pRecord->refs.fetch_sub(1) == 1) {
    SysFreeString(m_pRecord->wide);
    delete[] m_pRecord->ansi.load();
    delete m_pRecord;
  }
  m_pRecord = nullptr;
}

CBstrString& CBstrString::operator=(const CBstrString& other) {
  if (other.m_pRecord == m_pRecord) return *this;
  if (other.m_pRecord) other.m_pRecord->refs.fetch_add(1);
  Release();
  m_pRecord = other.m_pRecord;
  return *this;
}

CBstrString& CBstrString::operator+=(const CBstrString& other) {
  std::u16string joined;
  if (BSTR a = GetBSTR()) joined.append(a, SysStringLen(a));
  if (BSTR b = other.GetBSTR()) joined.append(b, SysStringLen(b));
  Record* r = FromWide(joined.data(), static_cast<UINT>(joined.size()));
  Release();
  m_pRecord = r;
  return *this;
}

CBstrString& CBstrString::operator+=(char ch) { return *this += CBstrString(ch); }

UINT CBstrString::GetLength() const { return m_pRecord && m_pRecord->wide ? SysStringLen(m_pRecord->wide) : 0; }

BSTR CBstrString::GetBSTR() const { return m_pRecord ? m_pRecord->wide : nullptr; }

const char* CBstrString::GetAnsi() const {
  if (!m_pRecord || !m_pRecord->wide) return nullptr;
  char* ansi = m_pRecord->ansi.load(std::memory_order_acquire);
  if (ansi) return ansi;
  std::string s = kx::Utf16ToUtf8(m_pRecord->wide, SysStringLen(m_pRecord->wide));
  char* made = new char[s.size() + 1];
  std::memcpy(made, s.c_str(), s.size() + 1);
  char* expected = nullptr;
  // Copies on other threads may make the narrow form at the same time; the first one kept wins.
  if (!m_pRecord->ansi.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
    delete[] made;
    return expected;
  }
  return made;
}

long CBstrString::GetRefCount() const { return m_pRecord ? m_pRecord->refs.load() : 0; }

int CBstrString::CompareNoCase(const char* text) const {
  if (IsEmpty()) return -1;
  return CString(GetAnsi()).CompareNoCase(text ? text : "");
}

int CBstrString::ReverseFind(char ch) const {
  const char* a = GetAnsi();
  if (!a) return -1;
  const char* p = std::strrchr(a, ch);
  return p && ch ? static_cast<int>(p - a) : -1;
}

CBstrString CBstrString::Right(int n) const {
  int len = static_cast<int>(GetLength());
  if (n < 0) n = 0;
  if (n > len) n = len;
  // Taken from the wide form: a character count does not index the multibyte narrow form.
  return CBstrString(FromWide(GetBSTR() ? GetBSTR() + (len - n) : nullptr, static_cast<UINT>(n)));
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
