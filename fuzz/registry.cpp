// Registry values read back by the settings records: the input is stored as the values of a few records, each
// as (type selector, length, bytes), and the records then load them: the serialised zip options, a value map
// record of numbers and texts, and the settings store's text, binary and number readers. Values the input
// does not reach are removed, so that every input starts from the defaults.
#include <cstring>
#include <string>

#include "archives/ArchiveZipOptions.h"
#include "core/ByteBuffer.h"
#include "core/SettingsStore.h"
#include "app/TransportSettings.h"
#include "platform/win32/registry.h"
#include "support.h"

namespace {

struct Value {
  const char* key;
  const char* name;
};

constexpr char kTransportKey[] = "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport";
constexpr char kStoreKey[] = "Software\\Kesmora\\Fuzz\\Store";
const Value kValues[] = {
    {CArchiveZipSettings::kKeyPath, CArchiveZipSettings::kValueName},
    {kTransportKey, "m_bProxy"},
    {kTransportKey, "m_Port"},
    {kTransportKey, "m_strURL"},
    {kTransportKey, "m_strIP"},
    {kStoreKey, "text"},
    {kStoreKey, "binary"},
    {kStoreKey, "number"},
};
const DWORD kTypes[] = {REG_BINARY, REG_SZ, REG_DWORD, REG_EXPAND_SZ, REG_MULTI_SZ, REG_QWORD, REG_NONE};

void Store(const Value& v, DWORD type, const uint8_t* data, size_t size) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, v.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  if (type == REG_NONE) RegDeleteValue(key, v.name);
  else RegSetValueEx(key, v.name, 0, type, data, static_cast<DWORD>(size));
  RegCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kxfuzz::Root();
  size_t at = 0;
  for (const Value& v : kValues) {
    if (at + 2 > size) {
      Store(v, REG_NONE, nullptr, 0);
      continue;
    }
    const DWORD type = kTypes[data[at] % (sizeof kTypes / sizeof kTypes[0])];
    const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
    Store(v, type, data + at + 2, length);
    at += 2 + length;
  }

  CArchiveZipSettings zip;
  zip.Load();
  CTransportSettings transport(HKEY_CURRENT_USER, "%s", kTransportKey);
  transport.Load();
  CSettingsStore store(HKEY_CURRENT_USER, "Software\\Kesmora\\Fuzz");
  std::string text;
  store.ReadString("Store", "text", text, "default");
  CByteBuffer binary;
  store.ReadBinary("Store", "binary", binary);
  DWORD number = 0;
  store.ReadInt("Store", "number", &number, 7);
  return 0;
}
