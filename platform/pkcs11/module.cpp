// The loaded module, its sessions and logins, and the certificates of present tokens: one Module object behind
// one plain mutex. Nothing is shown to the user from here: prompts come from the caller and run without the lock,
// failures go back as codes.
#include <dlfcn.h>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

#include "platform/pkcs11/internal.h"
#include "platform/win32/registry.h"

namespace kx::p11 {
namespace {

thread_local std::string t_lastError;

std::string Trimmed(const unsigned char* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

bool Matches(const Token& t, const Uri& u) {
  return (u.token.empty() || u.token == t.label) && (u.serial.empty() || u.serial == t.serial) &&
         (u.manufacturer.empty() || u.manufacturer == t.manufacturer) && (u.model.empty() || u.model == t.model);
}

// How the user is shown a token: its label, and its serial number too when another present token has that label.
std::string TokenName(const Token& token, const std::vector<Token>& present) {
  const bool shared = std::any_of(present.begin(), present.end(), [&](const Token& t) {
    return t.slot != token.slot && t.label == token.label;
  });
  return shared ? token.label + " (serial " + token.serial + ")" : token.label;
}

std::vector<uint8_t> Attribute(CK_FUNCTION_LIST_PTR f, CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o,
                               CK_ATTRIBUTE_TYPE type) {
  CK_ATTRIBUTE a{type, nullptr, 0};
  if (f->C_GetAttributeValue(s, o, &a, 1) != CKR_OK || a.ulValueLen == CK_UNAVAILABLE_INFORMATION) return {};
  std::vector<uint8_t> value(a.ulValueLen);
  a.pValue = value.data();
  if (f->C_GetAttributeValue(s, o, &a, 1) != CKR_OK) return {};
  value.resize(a.ulValueLen);
  return value;
}

std::vector<CK_OBJECT_HANDLE> Find(CK_FUNCTION_LIST_PTR f, CK_SESSION_HANDLE s, CK_OBJECT_CLASS cls,
                                   const std::vector<uint8_t>* id, size_t max) {
  CK_ATTRIBUTE tmpl[2] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_ID, nullptr, 0}};
  CK_ULONG n = 1;
  if (id) {
    tmpl[1].pValue = const_cast<uint8_t*>(id->data());
    tmpl[1].ulValueLen = id->size();
    n = 2;
  }
  std::vector<CK_OBJECT_HANDLE> found;
  if (f->C_FindObjectsInit(s, tmpl, n) != CKR_OK) return found;
  CK_OBJECT_HANDLE batch[32];
  CK_ULONG got = 0;
  while (found.size() < max && f->C_FindObjects(s, batch, 32, &got) == CKR_OK && got > 0)
    found.insert(found.end(), batch, batch + got);
  f->C_FindObjectsFinal(s);
  if (found.size() > max) found.resize(max);
  return found;
}

Failure Fail(Fault fault, const std::string& token = std::string(), CK_RV rv = CKR_OK,
             const std::string& detail = std::string()) {
  return Failure{fault, token, rv, detail};
}

class Module {
 public:
  std::vector<TokenCertificate> Certificates(const Prompts& prompts);
  bool TokenPresent(const Uri& uri, const Prompts& prompts);
  bool OpenKey(const Uri& uri, const Prompts& prompts, KeyHandle* out, Failure* failure);
  std::string GenerateKey(const std::string& label, unsigned bits, const Prompts& prompts, Failure* failure);
  CK_RV Run(const KeyHandle& key, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op);
  std::string LastFailure();
  void Reset();

 private:
  using Guard = std::unique_lock<std::mutex>;

  // The functions below whose names end in Locked are called with m_mutex held.
  // The module of the setting, loaded (or the one loaded); null when it cannot be, with *report set the first
  // time for the caller to show once the lock is released.
  CK_FUNCTION_LIST_PTR FunctionsLocked(std::string* report);
  void UnloadLocked();
  void FailLocked(const std::string& path, const std::string& why, bool report, std::string* out);
  std::vector<Token> PresentTokensLocked();
  CK_SESSION_HANDLE SessionLocked(CK_SLOT_ID slot, CK_RV* rv);
  void CloseSessionLocked(CK_SESSION_HANDLE handle);
  void DropSessionLocked(CK_SLOT_ID slot);
  bool GoneLocked(const Token& token);
  std::vector<TokenCertificate> ReadCertificatesLocked(const Token& token, CK_SESSION_HANDLE s);
  // Called without the lock: it takes it around each step and leaves it while the user is asked.
  bool Login(const Token& token, const std::string& name, unsigned generation, const Prompts& prompts,
             Failure* failure);
  // Called without the lock: the first present token `pick` takes (`missing` when none, `wanted` naming it in
  // failures), its session opened and the user logged in; its name and the module's generation for the caller.
  bool SignIn(const std::function<bool(const Token&)>& pick, Fault missing, const std::string& wanted,
              const Prompts& prompts, Token* token, std::string* name, unsigned* generation, Failure* failure);
  // What a failed call means: removal when the token is gone, whatever the code.
  Failure FaultOfLocked(const Token& token, const std::string& name, Fault fault, CK_RV rv);

  std::mutex m_mutex;
  void* m_handle = nullptr;
  CK_FUNCTION_LIST_PTR m_functions = nullptr;
  bool m_finalize = false;  // we initialised the module, so we finalise it
  std::string m_loadedPath;
  std::string m_failure;
  std::set<std::string> m_reported;
  unsigned m_generation = 1;
  // One session per slot, shared by the keys of its token; the login belongs to the application. A closed
  // session's handle may be given again to a new one: the serial tells a key of the old one apart.
  struct SlotSession {
    CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
    unsigned serial = 0;
  };
  std::map<CK_SLOT_ID, SlotSession> m_sessions;
  unsigned m_sessionSerial = 0;
  // The certificates of a token, read once for the session they were read in: a new session (the token was
  // taken out, or the session failed) or another token in the slot reads them again.
  struct SlotCertificates {
    std::string serial, label;
    unsigned sessionSerial = 0;
    std::vector<TokenCertificate> certificates;
  };
  std::map<CK_SLOT_ID, SlotCertificates> m_certificates;
};

Module& TheModule() {
  static Module module;
  return module;
}

void Report(const std::function<void(const std::string&)>& report, const std::string& text) {
  if (report && !text.empty()) report(text);
}

void Module::UnloadLocked() {
  if (m_functions) {
    for (auto& [slot, s] : m_sessions)
      if (s.handle != CK_INVALID_HANDLE) m_functions->C_CloseSession(s.handle);
    if (m_finalize) m_functions->C_Finalize(nullptr);
  }
  m_sessions.clear();
  m_certificates.clear();
  if (m_handle) dlclose(m_handle);
  m_handle = nullptr;
  m_functions = nullptr;
  m_finalize = false;
  m_loadedPath.clear();
  ++m_generation;
}

// A module that failed is not tried again in this process, and reported once; later pages see no tokens without
// asking again.
void Module::FailLocked(const std::string& path, const std::string& why, bool report, std::string* out) {
  m_failure = "The smart-card module \"" + path + "\" cannot be loaded: " + why;
  if (m_reported.insert(path).second && report) *out = m_failure;
}

CK_FUNCTION_LIST_PTR Module::FunctionsLocked(std::string* report) {
  std::string path = ModulePath();
  if (m_functions && path == m_loadedPath) return m_functions;
  if (m_functions) UnloadLocked();
  if (m_reported.count(path)) return nullptr;
  const bool configured = path != kProxyModule;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = dlerror();
    // Without p11-kit the system knows no tokens: nothing to report. A module the user set is another matter.
    FailLocked(path, e ? e : "not found", configured, report);
    return nullptr;
  }
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
  CK_FUNCTION_LIST_PTR list = nullptr;
  if (!getList || getList(&list) != CKR_OK || !list) {
    dlclose(handle);
    FailLocked(path, "it is not a PKCS#11 module", true, report);
    return nullptr;
  }
  CK_C_INITIALIZE_ARGS args;
  std::memset(&args, 0, sizeof args);
  args.flags = CKF_OS_LOCKING_OK;
  CK_RV rv = list->C_Initialize(&args);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
    dlclose(handle);
    FailLocked(path, "its initialisation failed (" + RvText(rv) + ")", true, report);
    return nullptr;
  }
  m_handle = handle;
  m_functions = list;
  m_finalize = rv == CKR_OK;
  m_loadedPath = path;
  m_failure.clear();
  return list;
}

// Closes a session that failed before forgetting it (the module may still count it; its result does not matter).
void Module::CloseSessionLocked(CK_SESSION_HANDLE handle) {
  if (m_functions && handle != CK_INVALID_HANDLE) m_functions->C_CloseSession(handle);
}

void Module::DropSessionLocked(CK_SLOT_ID slot) {
  m_certificates.erase(slot);
  auto it = m_sessions.find(slot);
  if (it == m_sessions.end()) return;
  CloseSessionLocked(it->second.handle);
  m_sessions.erase(it);
}

std::vector<Token> Module::PresentTokensLocked() {
  std::vector<Token> tokens;
  CK_FUNCTION_LIST_PTR f = m_functions;
  CK_ULONG count = 0;
  if (!f || f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK) return tokens;
  std::vector<CK_SLOT_ID> slots(count);
  if (count && f->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) return tokens;
  slots.resize(count);
  for (CK_SLOT_ID slot : slots) {
    CK_TOKEN_INFO info;
    if (f->C_GetTokenInfo(slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED)) continue;
    Token t;
    t.slot = slot;
    t.label = Trimmed(info.label, sizeof info.label);
    t.manufacturer = Trimmed(info.manufacturerID, sizeof info.manufacturerID);
    t.model = Trimmed(info.model, sizeof info.model);
    t.serial = Trimmed(info.serialNumber, sizeof info.serialNumber);
    t.flags = info.flags;
    tokens.push_back(t);
  }
  // Tokens whose slot went away have no session, and no certificates, any more.
  auto present = [&](CK_SLOT_ID slot) {
    return std::any_of(tokens.begin(), tokens.end(), [&](const Token& t) { return t.slot == slot; });
  };
  for (auto it = m_sessions.begin(); it != m_sessions.end();) {
    if (present(it->first)) {
      ++it;
      continue;
    }
    CloseSessionLocked(it->second.handle);
    it = m_sessions.erase(it);
  }
  for (auto it = m_certificates.begin(); it != m_certificates.end();)
    it = present(it->first) ? std::next(it) : m_certificates.erase(it);
  return tokens;
}

// Whether the token in the slot is gone (taken out, or another one put in).
bool Module::GoneLocked(const Token& token) {
  CK_FUNCTION_LIST_PTR f = m_functions;
  CK_ULONG count = 0;
  if (!f || f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK) return true;
  std::vector<CK_SLOT_ID> slots(count);
  if (count && f->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) return true;
  slots.resize(count);
  if (std::find(slots.begin(), slots.end(), token.slot) == slots.end()) return true;
  CK_TOKEN_INFO info;
  if (f->C_GetTokenInfo(token.slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED)) return true;
  return Trimmed(info.serialNumber, sizeof info.serialNumber) != token.serial ||
         Trimmed(info.label, sizeof info.label) != token.label;
}

CK_SESSION_HANDLE Module::SessionLocked(CK_SLOT_ID slot, CK_RV* rv) {
  CK_FUNCTION_LIST_PTR f = m_functions;
  if (!f) {
    *rv = CKR_DEVICE_REMOVED;
    return CK_INVALID_HANDLE;
  }
  SlotSession& s = m_sessions[slot];
  if (s.handle != CK_INVALID_HANDLE) {
    CK_SESSION_INFO info;
    *rv = f->C_GetSessionInfo(s.handle, &info);
    if (*rv == CKR_OK) return s.handle;
    CloseSessionLocked(s.handle);
    s.handle = CK_INVALID_HANDLE;
  }
  *rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s.handle);
  if (*rv != CKR_OK) {
    m_sessions.erase(slot);
    return CK_INVALID_HANDLE;
  }
  s.serial = ++m_sessionSerial;
  return s.handle;
}

Failure Module::FaultOfLocked(const Token& token, const std::string& name, Fault fault, CK_RV rv) {
  if (TokenGone(rv) || GoneLocked(token)) {
    DropSessionLocked(token.slot);
    return Fail(Fault::Removed, name, rv);
  }
  return Fail(fault, name, rv);
}

std::vector<TokenCertificate> Module::ReadCertificatesLocked(const Token& t, CK_SESSION_HANDLE s) {
  CK_FUNCTION_LIST_PTR f = m_functions;
  std::vector<TokenCertificate> out;
  // A token of trust anchors holds certificates but no keys: it has no digital IDs.
  bool keys = !Find(f, s, CKO_PRIVATE_KEY, nullptr, 1).empty() || !Find(f, s, CKO_PUBLIC_KEY, nullptr, 1).empty();
  if (!keys && !(t.flags & CKF_LOGIN_REQUIRED)) return out;
  for (CK_OBJECT_HANDLE o : Find(f, s, CKO_CERTIFICATE, nullptr, 4096)) {
    std::vector<uint8_t> id = Attribute(f, s, o, CKA_ID);
    std::vector<uint8_t> der = Attribute(f, s, o, CKA_VALUE);
    if (id.empty() || der.empty()) continue;
    std::vector<uint8_t> category = Attribute(f, s, o, CKA_CERTIFICATE_CATEGORY);
    if (category.size() == sizeof(CK_ULONG) && *reinterpret_cast<CK_ULONG*>(category.data()) == 2) continue;
    std::vector<uint8_t> label = Attribute(f, s, o, CKA_LABEL);
    TokenCertificate c;
    c.der = std::move(der);
    c.label.assign(label.begin(), label.end());
    c.tokenLabel = t.label;
    Uri u;
    u.token = t.label;
    u.manufacturer = t.manufacturer;
    u.serial = t.serial;
    u.model = t.model;
    u.object = c.label;
    u.id = id;
    u.type = "private";
    c.keyUri = FormatUri(u);
    out.push_back(std::move(c));
  }
  return out;
}

std::vector<TokenCertificate> Module::Certificates(const Prompts& prompts) {
  std::vector<TokenCertificate> out;
  std::string report;
  {
    Guard lock(m_mutex);
    if (FunctionsLocked(&report)) {
      for (const Token& t : PresentTokensLocked()) {
        CK_RV rv = CKR_OK;
        CK_SESSION_HANDLE s = SessionLocked(t.slot, &rv);
        if (s == CK_INVALID_HANDLE) continue;
        const unsigned sessionSerial = m_sessions[t.slot].serial;
        SlotCertificates& cached = m_certificates[t.slot];
        if (cached.serial != t.serial || cached.label != t.label || cached.sessionSerial != sessionSerial ||
            sessionSerial == 0)
          cached = SlotCertificates{t.serial, t.label, sessionSerial, ReadCertificatesLocked(t, s)};
        out.insert(out.end(), cached.certificates.begin(), cached.certificates.end());
      }
    }
  }
  Report(prompts.reportModuleFailure, report);
  // Modules give objects in no particular order: a stable one for the lists.
  std::stable_sort(out.begin(), out.end(), [](const TokenCertificate& a, const TokenCertificate& b) {
    return std::tie(a.tokenLabel, a.label) < std::tie(b.tokenLabel, b.label);
  });
  return out;
}

bool Module::TokenPresent(const Uri& u, const Prompts& prompts) {
  bool present = false;
  std::string report;
  {
    Guard lock(m_mutex);
    if (FunctionsLocked(&report))
      for (const Token& t : PresentTokensLocked()) present = present || Matches(t, u);
  }
  Report(prompts.reportModuleFailure, report);
  return present;
}

// Logs the token in unless it is already; asks for the PIN as long as the user gives wrong ones and the token
// takes them. The PIN lives only in this function and is wiped as soon as the token has seen it.
bool Module::Login(const Token& token, const std::string& name, unsigned generation, const Prompts& prompts,
                   Failure* failure) {
  if (!(token.flags & CKF_LOGIN_REQUIRED)) return true;
  auto locked = [&] {
    *failure = Fail(Fault::Locked, name);
    Report(prompts.reportLocked, name);
    return false;
  };
  bool retry = false;
  for (;;) {
    PinRequest request{name, 0, retry};
    bool pinPad = false;
    CK_RV rv = CKR_OK;
    {
      Guard lock(m_mutex);
      if (generation != m_generation || !m_functions) {
        *failure = Fail(Fault::Removed, name);
        return false;
      }
      CK_FUNCTION_LIST_PTR f = m_functions;
      CK_SESSION_HANDLE s = SessionLocked(token.slot, &rv);
      CK_SESSION_INFO info;
      if (s == CK_INVALID_HANDLE || (rv = f->C_GetSessionInfo(s, &info)) != CKR_OK) {
        *failure = FaultOfLocked(token, name, Fault::TokenUnusable, rv);
        return false;
      }
      if (info.state == CKS_RO_USER_FUNCTIONS || info.state == CKS_RW_USER_FUNCTIONS) return true;
      CK_TOKEN_INFO ti;
      if ((rv = f->C_GetTokenInfo(token.slot, &ti)) != CKR_OK) {
        *failure = FaultOfLocked(token, name, Fault::TokenUnusable, rv);
        return false;
      }
      request.tokenFlags = ti.flags;
      pinPad = ti.flags & CKF_PROTECTED_AUTHENTICATION_PATH;
      if (ti.flags & CKF_USER_PIN_LOCKED) {
        lock.unlock();
        return locked();
      }
      // The reader's own keypad: the login waits for it, as every other use of the token would.
      if (pinPad) rv = f->C_Login(s, CKU_USER, nullptr, 0);
    }
    if (!pinPad) {
      // Asked without the lock: other threads may list tokens meanwhile.
      std::string pin;
      if (!prompts.askPin || !prompts.askPin(request, &pin)) {
        *failure = Fail(Fault::Cancelled, name);
        return false;
      }
      Guard lock(m_mutex);
      CK_SESSION_HANDLE s = CK_INVALID_HANDLE;
      if (generation != m_generation || !m_functions || GoneLocked(token) ||
          (s = SessionLocked(token.slot, &rv)) == CK_INVALID_HANDLE) {
        OPENSSL_cleanse(pin.data(), pin.size());
        if (generation == m_generation) DropSessionLocked(token.slot);
        *failure = Fail(Fault::Removed, name);
        return false;
      }
      rv = m_functions->C_Login(s, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin.data()), pin.size());
      OPENSSL_cleanse(pin.data(), pin.size());
    }
    if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return true;
    if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE) {
      // The reader's own keypad cannot be cancelled from here: a wrong PIN there ends the login.
      if (pinPad) {
        *failure = Fail(Fault::WrongPinOnPad, name);
        return false;
      }
      retry = true;
      continue;
    }
    if (rv == CKR_PIN_LOCKED) return locked();
    Guard lock(m_mutex);
    *failure = FaultOfLocked(token, name, Fault::LoginRefused, rv);
    return false;
  }
}

bool Module::SignIn(const std::function<bool(const Token&)>& pick, Fault missing, const std::string& wanted,
                    const Prompts& prompts, Token* token, std::string* name, unsigned* generation, Failure* failure) {
  std::string report;
  {
    Guard lock(m_mutex);
    if (!FunctionsLocked(&report)) {
      *failure = Fail(Fault::NoModule, wanted, CKR_OK, m_failure);
    } else {
      const std::vector<Token> tokens = PresentTokensLocked();
      auto t = std::find_if(tokens.begin(), tokens.end(), pick);
      if (t == tokens.end()) {
        *failure = Fail(missing, wanted);
      } else {
        *token = *t;
        *name = TokenName(*token, tokens);
        *generation = m_generation;
        CK_RV rv = CKR_OK;
        if (SessionLocked(token->slot, &rv) == CK_INVALID_HANDLE) *failure = Fail(Fault::TokenUnusable, *name, rv);
      }
    }
  }
  Report(prompts.reportModuleFailure, report);
  if (failure->fault != Fault::None) return false;
  return Login(*token, *name, *generation, prompts, failure);
}

bool Module::OpenKey(const Uri& u, const Prompts& prompts, KeyHandle* out, Failure* failure) {
  Token token;
  std::string name;
  unsigned generation = 0;
  if (!SignIn([&](const Token& k) { return Matches(k, u); }, Fault::TokenAbsent, u.token, prompts, &token, &name,
              &generation, failure))
    return false;

  // The login may have waited for the user: take the session again (the token may be gone).
  Guard lock(m_mutex);
  if (generation != m_generation || !m_functions) {
    *failure = Fail(Fault::Removed, name);
    return false;
  }
  CK_FUNCTION_LIST_PTR f = m_functions;
  CK_RV rv = CKR_OK;
  CK_SESSION_HANDLE s = SessionLocked(token.slot, &rv);
  std::vector<CK_OBJECT_HANDLE> keys =
      s == CK_INVALID_HANDLE ? std::vector<CK_OBJECT_HANDLE>() : Find(f, s, CKO_PRIVATE_KEY, &u.id, 1);
  if (keys.empty()) {
    *failure = Fail(Fault::KeyAbsent, name, CKR_OK, u.object);
    return false;
  }
  out->slot = token.slot;
  out->session = s;
  out->sessionSerial = m_sessions[token.slot].serial;
  out->key = keys.front();
  out->generation = m_generation;
  out->tokenLabel = name;
  std::vector<uint8_t> type = Attribute(f, s, keys.front(), CKA_KEY_TYPE);
  out->keyType = type.size() == sizeof(CK_ULONG) ? *reinterpret_cast<CK_ULONG*>(type.data()) : CKK_RSA;
  out->modulus = Attribute(f, s, keys.front(), CKA_MODULUS);
  out->exponent = Attribute(f, s, keys.front(), CKA_PUBLIC_EXPONENT);
  if (out->keyType == CKK_EC) {
    // The point is an attribute of the public key object of the same id.
    out->ecParams = Attribute(f, s, keys.front(), CKA_EC_PARAMS);
    for (CK_OBJECT_HANDLE p : Find(f, s, CKO_PUBLIC_KEY, &u.id, 1)) out->ecPoint = Attribute(f, s, p, CKA_EC_POINT);
    if (out->ecParams.empty() || out->ecPoint.empty()) {
      *failure = Fail(Fault::NoPublicHalf, name);
      return false;
    }
  }
  if (out->keyType == CKK_RSA && (out->modulus.empty() || out->exponent.empty())) {
    *failure = Fail(Fault::NoPublicHalf, name);
    return false;
  }
  return true;
}

std::string Module::GenerateKey(const std::string& label, unsigned bits, const Prompts& prompts, Failure* failure) {
  Token token;
  std::string name;
  unsigned generation = 0;
  if (!SignIn([](const Token& k) { return !(k.flags & CKF_WRITE_PROTECTED); }, Fault::NoWritableToken, std::string(),
              prompts, &token, &name, &generation, failure))
    return std::string();

  Guard lock(m_mutex);
  if (generation != m_generation || !m_functions) {
    *failure = Fail(Fault::Removed, name);
    return std::string();
  }
  CK_FUNCTION_LIST_PTR f = m_functions;
  // Objects are made in a read-write session of their own; the login covers it.
  CK_SESSION_HANDLE rw = CK_INVALID_HANDLE;
  CK_RV rv = f->C_OpenSession(token.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &rw);
  if (rv != CKR_OK) {
    *failure = FaultOfLocked(token, name, Fault::CannotMakeKey, rv);
    return std::string();
  }
  std::vector<uint8_t> id(20);
  if (RAND_bytes(id.data(), static_cast<int>(id.size())) != 1) {
    f->C_CloseSession(rw);
    *failure = Fail(Fault::NoRandom, name);
    return std::string();
  }
  CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
  CK_ULONG modulusBits = bits;
  CK_BYTE exponent[] = {0x01, 0x00, 0x01};
  CK_UTF8CHAR_PTR text = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(label.data()));
  CK_ATTRIBUTE pub[] = {{CKA_TOKEN, &yes, sizeof yes},           {CKA_ENCRYPT, &yes, sizeof yes},
                        {CKA_VERIFY, &yes, sizeof yes},          {CKA_WRAP, &yes, sizeof yes},
                        {CKA_MODULUS_BITS, &modulusBits, sizeof modulusBits},
                        {CKA_PUBLIC_EXPONENT, exponent, sizeof exponent},
                        {CKA_ID, id.data(), id.size()},          {CKA_LABEL, text, label.size()}};
  CK_ATTRIBUTE priv[] = {{CKA_TOKEN, &yes, sizeof yes},    {CKA_PRIVATE, &yes, sizeof yes},
                         {CKA_SENSITIVE, &yes, sizeof yes}, {CKA_EXTRACTABLE, &no, sizeof no},
                         {CKA_DECRYPT, &yes, sizeof yes},   {CKA_SIGN, &yes, sizeof yes},
                         {CKA_UNWRAP, &yes, sizeof yes},    {CKA_ID, id.data(), id.size()},
                         {CKA_LABEL, text, label.size()}};
  CK_MECHANISM mechanism{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
  CK_OBJECT_HANDLE pubKey = CK_INVALID_HANDLE, privKey = CK_INVALID_HANDLE;
  rv = f->C_GenerateKeyPair(rw, &mechanism, pub, sizeof pub / sizeof pub[0], priv, sizeof priv / sizeof priv[0],
                            &pubKey, &privKey);
  f->C_CloseSession(rw);
  if (rv != CKR_OK) {
    *failure = FaultOfLocked(token, name, Fault::KeyNotMade, rv);
    return std::string();
  }
  Uri u;
  u.token = token.label;
  u.manufacturer = token.manufacturer;
  u.serial = token.serial;
  u.model = token.model;
  u.object = label;
  u.id = id;
  u.type = "private";
  return FormatUri(u);
}

CK_RV Module::Run(const KeyHandle& k, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op) {
  Guard lock(m_mutex);
  if (k.generation != m_generation || !m_functions) return CKR_DEVICE_REMOVED;
  auto it = m_sessions.find(k.slot);
  if (it == m_sessions.end() || it->second.handle != k.session || it->second.serial != k.sessionSerial)
    return CKR_DEVICE_REMOVED;
  CK_RV rv = op(m_functions, k.session);
  if (TokenGone(rv)) DropSessionLocked(k.slot);
  return rv;
}

std::string Module::LastFailure() {
  Guard lock(m_mutex);
  return m_failure;
}

void Module::Reset() {
  Guard lock(m_mutex);
  UnloadLocked();
  m_reported.clear();
  m_failure.clear();
}

}  // namespace

std::string ModulePath() {
  std::string path = RegString(HKEY_CURRENT_USER, kSettingsKey, "Module");
  if (path.empty()) path = RegString(HKEY_LOCAL_MACHINE, kSettingsKey, "Module");
  return path.empty() ? kProxyModule : path;
}

std::string RvText(CK_RV rv) {
  switch (rv) {
    case CKR_PIN_INCORRECT: return "the PIN is wrong";
    case CKR_PIN_LOCKED: return "the PIN is locked";
    case CKR_DEVICE_REMOVED:
    case CKR_TOKEN_NOT_PRESENT:
    case CKR_SESSION_HANDLE_INVALID:
    case CKR_SESSION_CLOSED: return "the token was removed";
    case CKR_USER_NOT_LOGGED_IN: return "the token is not logged in";
    case CKR_KEY_HANDLE_INVALID:
    case CKR_OBJECT_HANDLE_INVALID: return "the key is no longer on the token";
    case CKR_MECHANISM_INVALID: return "the token does not offer the operation";
    default: break;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "PKCS#11 error 0x%08lx", static_cast<unsigned long>(rv));
  return buffer;
}

bool TokenGone(CK_RV rv) {
  return rv == CKR_DEVICE_REMOVED || rv == CKR_TOKEN_NOT_PRESENT || rv == CKR_SESSION_HANDLE_INVALID ||
         rv == CKR_SESSION_CLOSED || rv == CKR_DEVICE_ERROR || rv == CKR_SLOT_ID_INVALID;
}

void SetLastError(const std::string& text) { t_lastError = text; }
std::string LastError() { return t_lastError; }

std::string ModuleFailure() { return TheModule().LastFailure(); }
void Reset() { TheModule().Reset(); }

std::vector<TokenCertificate> ListCertificates(const Prompts& prompts) { return TheModule().Certificates(prompts); }

bool IsTokenPresent(const std::string& uri, const Prompts& prompts) {
  Uri u;
  return ParseUri(uri, &u) && TheModule().TokenPresent(u, prompts);
}

bool OpenKey(const std::string& uri, const Prompts& prompts, KeyHandle* out, Failure* failure) {
  *failure = Failure();
  Uri u;
  if (!ParseUri(uri, &u) || u.id.empty()) {
    *failure = Fail(Fault::BadUri, std::string(), CKR_OK, uri);
    return false;
  }
  return TheModule().OpenKey(u, prompts, out, failure);
}

std::string MakeKey(const std::string& label, unsigned bits, const Prompts& prompts, Failure* failure) {
  *failure = Failure();
  return TheModule().GenerateKey(label, bits, prompts, failure);
}

CK_RV RunOnToken(const KeyHandle& key, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op) {
  return TheModule().Run(key, op);
}

}  // namespace kx::p11
