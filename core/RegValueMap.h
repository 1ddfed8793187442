// Base of the registry-backed settings records. A record declares its values once, in Exchange, which
// serves to set the defaults, to load and to save:
//
//   LONG Exchange(HKEY key, BOOL save, BOOL defaults) override {
//     LONG result = 0;
//     BeginExchange(save, defaults);
//     if (!ExchangeEntry(key, save, defaults, "m_Port", m_Port, 8081, result)) return result;
//     if (!ExchangeEntry(key, save, defaults, "m_strHost", m_strHost, "", result)) return result;
//     EndExchange(save, defaults);
//     return result;
//   }
//
// and its constructor calls InitKey(root, format, ...) and then Exchange(NULL, FALSE, TRUE).
#pragma once

#include <cstdarg>
#include <type_traits>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CRegValueMap {
 public:
  CRegValueMap() : m_hRoot(nullptr) {}
  virtual ~CRegValueMap() = default;

  virtual LONG Exchange(HKEY key, BOOL save, BOOL defaults) = 0;
  virtual void OnBeforeSave() {}
  virtual void OnAfterLoad() {}

  // Registry values over the defaults; a missing key puts every member back to its default and answers
  // the open error.
  LONG Load();
  // Creates missing keys; stops at the first value that cannot be written and answers its error.
  LONG Save();

  // A 4-byte member: saved as REG_DWORD; loaded only from a value of exactly 4 bytes (of any type), else
  // an error and the member is untouched.
  static LONG ExchangeDword(HKEY key, LPCSTR name, void* member, BYTE save);
  // Saved as REG_SZ with its terminating zero; loaded whole whatever its length, terminated even when the
  // stored bytes are not. The member keeps its value when the read fails.
  static LONG ExchangeString(HKEY key, LPCSTR name, CString* member, BYTE save);
  template <class T>
  static LONG ExchangeValue(HKEY key, LPCSTR name, T* member, BYTE save) {
    static_assert(sizeof(T) == 4 && std::is_trivially_copyable_v<T>, "a 4-byte member");
    return ExchangeDword(key, name, member, save);
  }

  CString m_strKey;
  HKEY m_hRoot;

 protected:
  // Formats the key path (when a format is given) and stores the root.
  void InitKey(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void InitKeyV(HKEY root, const char* format, va_list args);
  void BeginExchange(BOOL save, BOOL defaults) {
    if (save && !defaults) OnBeforeSave();
  }
  void EndExchange(BOOL save, BOOL defaults) {
    if (!save && !defaults) OnAfterLoad();
  }
  // One value of the standard Exchange form; false when a save failed and Exchange must return result.
  template <class T, class D>
  bool ExchangeEntry(HKEY key, BOOL save, BOOL defaults, LPCSTR name, T& member, D def, LONG& result) {
    if (defaults) {
      member = static_cast<T>(def);
      result = 0;
      return true;
    }
    result = ExchangeValue(key, name, &member, save ? 1 : 0);
    if (result == 0) return true;
    if (save) return false;
    member = static_cast<T>(def);
    return true;
  }
  bool ExchangeEntry(HKEY key, BOOL save, BOOL defaults, LPCSTR name, CString& member, const char* def,
                     LONG& result);
};

// The constructor every record shares: (root, key format, arguments), then the defaults.
#define REGVALUEMAP_CONSTRUCTOR(Record)                \
  Record::Record(HKEY root, const char* format, ...) { \
    va_list args;                                      \
    va_start(args, format);                            \
    InitKeyV(root, format, args);                      \
    va_end(args);                                      \
    Exchange(nullptr, FALSE, TRUE);                    \
  }
// One value inside an Exchange of the standard form (key, save, defaults and result in scope).
#define REGVALUEMAP_ENTRY(name, member, def) \
  if (!ExchangeEntry(key, save, defaults, name, member, def, result)) return result;
