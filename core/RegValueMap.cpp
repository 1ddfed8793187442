#include "core/RegValueMap.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#include "platform/win32/registry.h"

namespace {

// Closes its key when it goes out of scope, also when an exception passes.
class CRegKey {
 public:
  ~CRegKey() {
    if (m_key) RegCloseKey(m_key);
  }
  HKEY* operator&() { return &m_key; }
  operator HKEY() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

constexpr DWORD kFirstRead = 100;

}  // namespace

void CRegValueMap::InitKey(HKEY root, const char* format, ...) {
  va_list args;
  va_start(args, format);
  InitKeyV(root, format, args);
  va_end(args);
}

void CRegValueMap::InitKeyV(HKEY root, const char* format, va_list args) {
  if (format) m_strKey.FormatV(format, args);
  m_hRoot = root;
}

LONG CRegValueMap::Load() {
  CRegKey key;
  LONG rc = RegOpenKeyExA(m_hRoot, m_strKey, 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    Exchange(nullptr, FALSE, TRUE);
    return rc;
  }
  return Exchange(key, FALSE, FALSE);
}

LONG CRegValueMap::Save() {
  CRegKey key;
  LONG rc = RegCreateKeyExA(m_hRoot, m_strKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return Exchange(key, TRUE, FALSE);
}

LONG CRegValueMap::ExchangeDword(HKEY key, LPCSTR name, void* member, BYTE save) {
  if (save) return RegSetValueExA(key, name, 0, REG_DWORD, static_cast<const BYTE*>(member), 4);
  BYTE value[4];
  DWORD size = sizeof value;
  LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, value, &size);
  if (rc != ERROR_SUCCESS) return rc;
  // Fewer bytes would leave part of the member at its old value: not a number of this record.
  if (size != sizeof value) return static_cast<LONG>(ERROR_INVALID_DATA);
  std::memcpy(member, value, sizeof value);
  return ERROR_SUCCESS;
}

LONG CRegValueMap::ExchangeString(HKEY key, LPCSTR name, CString* member, BYTE save) {
  if (save)
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(member->GetString()),
                          static_cast<DWORD>(member->GetLength() + 1));
  // One byte more than the size asked for, so that a value stored without its terminator is terminated.
  std::vector<char> buffer(kFirstRead + 1, 0);
  DWORD size = kFirstRead;
  LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (rc == static_cast<LONG>(ERROR_MORE_DATA)) {
    buffer.assign(static_cast<size_t>(size) + 1, 0);
    rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return rc;
  size = kx_min<DWORD>(size, static_cast<DWORD>(buffer.size() - 1));
  *member = CString(buffer.data(), static_cast<int>(strnlen(buffer.data(), size)));
  return ERROR_SUCCESS;
}

bool CRegValueMap::ExchangeEntry(HKEY key, BOOL save, BOOL defaults, LPCSTR name, CString& member, const char* def,
                                 LONG& result) {
  if (defaults) {
    member = def;
    result = 0;
    return true;
  }
  result = ExchangeString(key, name, &member, save ? 1 : 0);
  if (result == 0) return true;
  if (save) return false;
  member = def;
  return true;
}
