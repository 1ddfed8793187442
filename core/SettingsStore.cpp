#include "core/SettingsStore.h"

#include <cstring>
#include <new>

#include "core/ByteBuffer.h"
#include "platform/win32/registry.h"

namespace {

constexpr DWORD kStringBuffer = 255;
constexpr DWORD kBinaryBuffer = 256;

char* CopyText(const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s);
  char* p = new (std::nothrow) char[n + 1];
  if (p) std::memcpy(p, s, n + 1);
  return p;
}

// Closes the key when leaving the scope.
struct KeyHolder {
  HKEY key = nullptr;
  ~KeyHolder() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace

CSettingsStore::CSettingsStore(HKEY root, const char* keyPath) : m_hRoot(root), m_pszKeyPath(CopyText(keyPath)) {}

CSettingsStore::~CSettingsStore() { delete[] m_pszKeyPath; }

char* CSettingsStore::MakeSubKeyPath(const char* section) const {
  if (!m_pszKeyPath || !section) return nullptr;
  size_t a = std::strlen(m_pszKeyPath), b = std::strlen(section);
  char* p = new (std::nothrow) char[a + 1 + b + 1];
  if (!p) return nullptr;
  std::memcpy(p, m_pszKeyPath, a);
  if (b) {
    p[a] = '\\';
    std::memcpy(p + a + 1, section, b + 1);
  } else {
    p[a] = 0;
  }
  return p;
}

bool CSettingsStore::Query(const char* section, const char* name, BYTE* data, DWORD* size) {
  char* path = MakeSubKeyPath(section);
  if (!path) return false;
  std::string bytes;
  const bool read = kx::RegReadValue(m_hRoot, path, name, &bytes, nullptr);
  delete[] path;
  // A value longer than the caller's buffer cannot be read, as the platform's own query says.
  if (!read || bytes.size() > *size) return false;
  std::memcpy(data, bytes.data(), bytes.size());
  *size = static_cast<DWORD>(bytes.size());
  return true;
}

bool CSettingsStore::Set(const char* section, const char* name, DWORD type, const BYTE* data, DWORD size) {
  char* path = MakeSubKeyPath(section);
  if (!path) return false;
  KeyHolder k;
  LONG rc = RegCreateKeyExA(m_hRoot, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &k.key,
                            nullptr);
  delete[] path;
  if (rc != ERROR_SUCCESS) {
    k.key = nullptr;
    return false;
  }
  return RegSetValueExA(k.key, name, 0, type, data, size) == ERROR_SUCCESS;
}

bool CSettingsStore::ReadString(const char* section, const char* name, std::string& out, const char* defaultText) {
  out.clear();
  BYTE buffer[kStringBuffer];
  DWORD size = sizeof buffer;
  if (Query(section, name, buffer, &size) && size > 0) {
    // The last stored byte is the terminator; a zero inside the value ends the text too.
    size_t n = strnlen(reinterpret_cast<const char*>(buffer), size - 1);
    out.assign(reinterpret_cast<const char*>(buffer), n);
  }
  if (out.empty() && defaultText && std::strlen(defaultText) < kStringBuffer) out = defaultText;
  return !out.empty();
}

bool CSettingsStore::ReadBinary(const char* section, const char* name, CByteBuffer& out) {
  out.Free(false);
  BYTE buffer[kBinaryBuffer];
  DWORD size = sizeof buffer;
  if (!Query(section, name, buffer, &size)) return false;
  return out.SetAt(size, buffer, 0);
}

bool CSettingsStore::ReadInt(const char* section, const char* name, DWORD* out, DWORD defaultValue) {
  BYTE buffer[4] = {};
  DWORD size = sizeof buffer;
  if (Query(section, name, buffer, &size)) {
    // Fewer than 4 stored bytes are a smaller number, not a partial overwrite of the caller's value.
    *out = static_cast<DWORD>(buffer[0]) | static_cast<DWORD>(buffer[1]) << 8 | static_cast<DWORD>(buffer[2]) << 16 |
           static_cast<DWORD>(buffer[3]) << 24;
    return true;
  }
  if (defaultValue == 0) return false;
  *out = defaultValue;
  return true;
}

bool CSettingsStore::WriteString(const char* section, const char* name, const std::string& value) {
  return Set(section, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
             static_cast<DWORD>(std::strlen(value.c_str()) + 1));
}

bool CSettingsStore::WriteBinary(const char* section, const char* name, const CByteBuffer& value) {
  return Set(section, name, REG_BINARY, value.GetData(), value.GetLength());
}

bool CSettingsStore::WriteInt(const char* section, const char* name, DWORD value) {
  BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                   static_cast<BYTE>(value >> 24)};
  return Set(section, name, REG_DWORD, bytes, 4);
}

CHiveSettings::CHiveSettings() : m_strBaseKeyPath("Software\\Kesmora\\OfficeTolvex") {}

CHiveSettings::CHiveSettings(const char* baseKeyPath) : m_strBaseKeyPath(baseKeyPath) {}

HKEY CHiveSettings::Root() const { return m_bMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

bool CHiveSettings::GetStdString(const char* subkey, const char* name, std::string& out, const char* defaultText) {
  return CSettingsStore(Root(), m_strBaseKeyPath).ReadString(subkey, name, out, defaultText);
}

bool CHiveSettings::GetString(const char* subkey, const char* name, CString& out, const CString& defaultText) {
  std::string text;
  if (!GetStdString(subkey, name, text, defaultText)) return false;
  out = text;
  return true;
}

bool CHiveSettings::GetDword(const char* subkey, const char* name, DWORD* out, DWORD defaultValue) {
  return CSettingsStore(Root(), m_strBaseKeyPath).ReadInt(subkey, name, out, defaultValue);
}

bool CHiveSettings::SetString(const char* subkey, const char* name, const CString& value) {
  return CSettingsStore(Root(), m_strBaseKeyPath).WriteString(subkey, name, value.str());
}

bool CHiveSettings::SetDword(const char* subkey, const char* name, DWORD value) {
  return CSettingsStore(Root(), m_strBaseKeyPath).WriteInt(subkey, name, value);
}
