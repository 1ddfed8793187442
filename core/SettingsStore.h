// Settings in the registry, each value read per call with a default and written per call.
#pragma once

#include <string>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CByteBuffer;

class CSettingsStore {
 public:
  CSettingsStore(HKEY root, const char* keyPath);
  virtual ~CSettingsStore();
  CSettingsStore(const CSettingsStore&) = delete;
  CSettingsStore& operator=(const CSettingsStore&) = delete;

  // A text of at most 254 characters; the default (when shorter than 255 characters) stands in for a
  // missing, empty, too long or unreadable value. True, and out set, only for a non-empty text.
  bool ReadString(const char* section, const char* name, std::string& out, const char* defaultText);
  // Up to 256 bytes.
  bool ReadBinary(const char* section, const char* name, CByteBuffer& out);
  // A value of at most 4 bytes (taken as a little-endian number). When it cannot be read: a non-zero
  // default is stored and the answer is true; with default 0 the answer is false and *out is untouched.
  bool ReadInt(const char* section, const char* name, DWORD* out, DWORD defaultValue);
  bool WriteString(const char* section, const char* name, const std::string& value);
  bool WriteBinary(const char* section, const char* name, const CByteBuffer& value);
  bool WriteInt(const char* section, const char* name, DWORD value);

  // The key path followed by "\" and the section, or the key path alone for an empty section. The caller
  // frees the result with delete[]; null when either part is missing.
  char* MakeSubKeyPath(const char* section) const;

 private:
  bool Query(const char* section, const char* name, BYTE* data, DWORD* size);
  bool Set(const char* section, const char* name, DWORD type, const BYTE* data, DWORD size);

  HKEY m_hRoot;
  char* m_pszKeyPath;
};

// Settings under one base key, in the machine hive (the default) or the current user's.
class CHiveSettings {
 public:
  CHiveSettings();  // "Software\Kesmora\OfficeTolvex", machine hive
  explicit CHiveSettings(const char* baseKeyPath);
  virtual ~CHiveSettings() = default;

  void UseCurrentUser() { m_bMachine = false; }
  void UseLocalMachine() { m_bMachine = true; }
  bool IsMachine() const { return m_bMachine; }
  const CString& GetBaseKeyPath() const { return m_strBaseKeyPath; }

  bool GetStdString(const char* subkey, const char* name, std::string& out, const char* defaultText);
  // On failure out is unchanged.
  bool GetString(const char* subkey, const char* name, CString& out, const CString& defaultText);
  bool GetDword(const char* subkey, const char* name, DWORD* out, DWORD defaultValue);
  bool SetString(const char* subkey, const char* name, const CString& value);
  bool SetDword(const char* subkey, const char* name, DWORD value);

 private:
  HKEY Root() const;

  CString m_strBaseKeyPath;
  bool m_bMachine = true;
};
