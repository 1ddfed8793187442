// The registry: one SQLite database per hive under the state root (the user hive under kx::UserStateDir(),
// the machine hive under kx::MachineStateDir()). HKEY_CLASSES_ROOT is the machine key "SOFTWARE\Classes".
//
// Key paths use "\" and, like value names, compare without regard to ASCII case while keeping the case they
// were written with. Every change is one transaction, so a killed writer leaves the old or the new value and
// several processes share a hive (busy waits up to 10 s).
// Access: a key may carry an owner and an access list (RegCreateKeyEx with a security descriptor); a key
// without one gets its hive's default: the user hive grants everything to its user (the database file is
// private to the user), the machine hive grants KEY_READ to Everyone and KEY_ALL_ACCESS to Administrators
// (see kx::IsAdministrator). Opening a key checks the requested rights against the list; each operation then
// checks the rights of its handle (writing through a KEY_READ handle gives ERROR_ACCESS_DENIED).
// Results are the platform's: 0, ERROR_FILE_NOT_FOUND (2), ERROR_ACCESS_DENIED (5), ERROR_MORE_DATA (234, with
// the size needed), ERROR_NO_MORE_ITEMS (259), ERROR_KEY_DELETED (1018).
#pragma once

#include <string>
#include <vector>

#include "platform/win32/security.h"
#include "platform/win32/types.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

using LSTATUS = LONG;

KXAPI LSTATUS RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
inline constexpr auto& RegOpenKeyExA = RegOpenKeyEx;
// Opens with the most rights the caller's token has.
KXAPI LSTATUS RegOpenKey(HKEY key, LPCSTR subKey, PHKEY result);
inline constexpr auto& RegOpenKeyA = RegOpenKey;
KXAPI LSTATUS RegCreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM desired,
                             const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition);
inline constexpr auto& RegCreateKeyExA = RegCreateKeyEx;
KXAPI LSTATUS RegCreateKey(HKEY key, LPCSTR subKey, PHKEY result);
inline constexpr auto& RegCreateKeyA = RegCreateKey;
KXAPI LSTATUS RegCloseKey(HKEY key);
// data null: the size is answered; a short buffer: ERROR_MORE_DATA with *size set to the size needed.
KXAPI LSTATUS RegQueryValueEx(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
inline constexpr auto& RegQueryValueExA = RegQueryValueEx;
KXAPI LSTATUS RegSetValueEx(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
inline constexpr auto& RegSetValueExA = RegSetValueEx;
// The unnamed (default) value of a subkey as text ("" when it has none).
KXAPI LSTATUS RegQueryValue(HKEY key, LPCSTR subKey, LPSTR data, PLONG size);
inline constexpr auto& RegQueryValueA = RegQueryValue;
KXAPI LSTATUS RegSetValue(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD size);
inline constexpr auto& RegSetValueA = RegSetValue;
KXAPI LSTATUS RegDeleteValue(HKEY key, LPCSTR name);
inline constexpr auto& RegDeleteValueA = RegDeleteValue;
// Deletes a key without subkeys (one with subkeys: ERROR_ACCESS_DENIED, as on the NT family).
KXAPI LSTATUS RegDeleteKey(HKEY key, LPCSTR subKey);
inline constexpr auto& RegDeleteKeyA = RegDeleteKey;
// Subkeys in case-insensitive name order; nameSize in characters (without the terminator on return).
KXAPI LSTATUS RegEnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                           LPDWORD classSize, LPFILETIME lastWrite);
inline constexpr auto& RegEnumKeyExA = RegEnumKeyEx;
KXAPI LSTATUS RegEnumKey(HKEY key, DWORD index, LPSTR name, DWORD nameSize);
inline constexpr auto& RegEnumKeyA = RegEnumKey;
// Values in the order they were first written.
KXAPI LSTATUS RegEnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                           LPBYTE data, LPDWORD dataSize);
inline constexpr auto& RegEnumValueA = RegEnumValue;
KXAPI LSTATUS RegQueryInfoKey(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                              LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen,
                              LPDWORD maxValueLen, LPDWORD securityDescriptorSize, LPFILETIME lastWrite);
inline constexpr auto& RegQueryInfoKeyA = RegQueryInfoKey;
KXAPI LSTATUS RegFlushKey(HKEY key);
// Deletes a key with all its subkeys and values (one transaction).
KXAPI LSTATUS SHDeleteKey(HKEY key, LPCSTR subKey);
inline constexpr auto& SHDeleteKeyA = SHDeleteKey;

namespace kx {
// The owner (text SID, may be empty) and the explicit access list of a key; an empty list means the hive's
// default applies.
KXAPI LSTATUS RegGetKeyAccessList(HKEY key, std::string* owner, std::vector<AccessEntry>* entries);

// Reading one value: the key under the root is opened for reading and closed again. A missing key or value, or
// one that cannot be read, is absent (false, *out untouched).
// The value's bytes and type, whatever its size.
KXAPI bool RegReadValue(HKEY root, const std::string& path, const char* name, std::string* data, DWORD* type);
// A text (REG_SZ or REG_EXPAND_SZ), up to its first NUL; another type is absent.
KXAPI bool RegReadString(HKEY root, const std::string& path, const char* name, std::string* out);
// A REG_DWORD of 4 bytes; another type or size is absent.
KXAPI bool RegReadDword(HKEY root, const std::string& path, const char* name, DWORD* out);
// The same, with the value that stands in for an absent one.
inline std::string RegString(HKEY root, const std::string& path, const char* name, std::string fallback = {}) {
  RegReadString(root, path, name, &fallback);
  return fallback;
}
inline DWORD RegDword(HKEY root, const std::string& path, const char* name, DWORD fallback) {
  RegReadDword(root, path, name, &fallback);
  return fallback;
}

// While one is alive (in any thread), the changes to each hive go into one transaction, committed when the
// last one ends: the many small writes of a first start cost one sync per hive instead of one each. Each
// change is still all or nothing inside it; a failed commit at the end leaves the hive as it was before.
class KXAPI RegistryBatch {
 public:
  RegistryBatch();
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;
};
}  // namespace kx
