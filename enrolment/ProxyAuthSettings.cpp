#include "enrolment/ProxyAuthSettings.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "platform/ldap/ldap.h"
#include "platform/win32/registry.h"

namespace {

constexpr const char* kPasswordValue = "m_strPassword";

// The password the user gave without asking for it to be remembered, for this process only.
std::mutex g_sessionMutex;
CString& SessionPassword() {
  static auto* p = new CString();
  return *p;
}

LONG SavePassword(HKEY key, const CString& password, BOOL remember) {
  {
    std::lock_guard<std::mutex> lock(g_sessionMutex);
    SessionPassword() = remember ? CString() : password;
  }
  if (!remember || password.IsEmpty()) {
    LSTATUS st = RegDeleteValue(key, kPasswordValue);
    return st == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : st;
  }
  const std::string sealed = kx::ldap::SealSecret(static_cast<const char*>(password));
  if (sealed.empty()) return ERROR_ACCESS_DENIED;
  return RegSetValueEx(key, kPasswordValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(sealed.data()),
                       static_cast<DWORD>(sealed.size()));
}

// The stored password unsealed; a password stored as typed by an earlier version is still read (and sealed at
// the next save). Without one, the password kept for this process.
void LoadPassword(HKEY key, CString& password) {
  DWORD type = 0, size = 0;
  std::string stored;
  if (RegQueryValueEx(key, kPasswordValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    stored.resize(size);
    if (RegQueryValueEx(key, kPasswordValue, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()), &size) !=
        ERROR_SUCCESS)
      stored.clear();
    stored.resize(stored.empty() ? 0 : size);
  }
  std::string plain;
  if (type == REG_BINARY && kx::ldap::UnsealSecret(stored, plain)) {
    password = plain.c_str();
  } else if (type == REG_SZ && !stored.empty()) {
    password = stored.c_str();
  } else {
    std::lock_guard<std::mutex> lock(g_sessionMutex);
    password = SessionPassword();
  }
  std::fill(plain.begin(), plain.end(), '\0');
}

}  // namespace

REGVALUEMAP_CONSTRUCTOR(CProxyAuthSettings)

LONG CProxyAuthSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  if (defaults) {
    m_strPassword = "";
  } else if (save) {
    result = SavePassword(key, m_strPassword, m_bRemember);
    if (result != 0) return result;
  } else {
    LoadPassword(key, m_strPassword);
  }
  REGVALUEMAP_ENTRY("m_strUser", m_strUser, "")
  EndExchange(save, defaults);
  return result;
}
