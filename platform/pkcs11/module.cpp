// The loaded module, its sessions and logins, and the certificates of present tokens.
#include <dlfcn.h>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>

#include "platform/pkcs11/internal.h"
#include "platform/pkcs11/pindialog.h"
#include "platform/win32/registry.h"

namespace kx::p11 {
namespace {

std::recursive_mutex g_mutex;
void* g_handle = nullptr;
CK_FUNCTION_LIST_PTR g_functions = nullptr;
bool g_finalize = false;   // we initialised the module, so we finalise it
std::string g_loadedPath;
std::string g_failure;
std::set<std::string> g_reported;
unsigned g_generation = 1;
// One session per slot, shared by the keys of its token; the login belongs to the application. A closed session's
// handle may be given again to a new one: the serial tells a key of the old one apart.
struct SlotSession {
  CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
  unsigned serial = 0;
};
std::map<CK_SLOT_ID, SlotSession> g_sessions;
unsigned g_sessionSerial = 0;
// The certificates of a token, read once for the session they were read in: a new session (the token was taken
// out, or the session failed) or another token in the slot reads them again.
struct SlotCertificates {
  std::string serial, label;
  unsigned sessionSerial = 0;
  std::vector<TokenCertificate> certificates;
};
std::map<CK_SLOT_ID, SlotCertificates> g_certificates;
thread_local std::string t_lastError;

std::string Trimmed(const unsigned char* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

std::string RegistryModule(HKEY root) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::string();
  char buffer[1024] = {};
  DWORD type = 0, size = sizeof buffer - 1;
  LSTATUS r = RegQueryValueEx(key, "Module", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
  return std::string(buffer);
}

void Unload() {
  if (g_functions) {
    for (auto& [slot, s] : g_sessions)
      if (s.handle != CK_INVALID_HANDLE) g_functions->C_CloseSession(s.handle);
    if (g_finalize) g_functions->C_Finalize(nullptr);
  }
  g_sessions.clear();
  g_certificates.clear();
  if (g_handle) dlclose(g_handle);
  g_handle = nullptr;
  g_functions = nullptr;
  g_finalize = false;
  g_loadedPath.clear();
  ++g_generation;
}

// A module that failed is not tried again in this process, and reported once (without the lock held, so that
// other threads go on while the message is shown); later pages see no tokens without asking again.
void Fail(std::unique_lock<std::recursive_mutex>& lock, const std::string& path, const std::string& why, bool report) {
  g_failure = "The smart-card module \"" + path + "\" cannot be loaded: " + why;
  if (!g_reported.insert(path).second || !report) return;
  const std::string text = g_failure;
  lock.unlock();
  ReportModuleFailure(text);
  lock.lock();
}

}  // namespace

std::string ModulePath() {
  std::string path = RegistryModule(HKEY_CURRENT_USER);
  if (path.empty()) path = RegistryModule(HKEY_LOCAL_MACHINE);
  return path.empty() ? kProxyModule : path;
}

CK_FUNCTION_LIST_PTR Functions(std::unique_lock<std::recursive_mutex>& lock) {
  std::string path = ModulePath();
  if (g_functions && path == g_loadedPath) return g_functions;
  if (g_functions) Unload();
  if (g_reported.count(path)) return nullptr;
  const bool configured = path != kProxyModule;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = dlerror();
    // Without p11-kit the system knows no tokens: nothing to report. A module the user set is another matter.
    Fail(lock, path, e ? e : "not found", configured);
    return nullptr;
  }
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
  CK_FUNCTION_LIST_PTR list = nullptr;
  if (!getList || getList(&list) != CKR_OK || !list) {
    dlclose(handle);
    Fail(lock, path, "it is not a PKCS#11 module", true);
    return nullptr;
  }
  CK_C_INITIALIZE_ARGS args;
  std::memset(&args, 0, sizeof args);
  args.flags = CKF_OS_LOCKING_OK;
  CK_RV rv = list->C_Initialize(&args);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
    dlclose(handle);
    Fail(lock, path, "its initialisation failed (" + RvText(rv) + ")", true);
    return nullptr;
  }
  g_handle = handle;
  g_functions = list;
  g_finalize = rv == CKR_OK;
  g_loadedPath = path;
  g_failure.clear();
  return list;
}

std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(g_mutex); }

unsigned Generation() { return g_generation; }

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

namespace {
// Closes a session that failed before forgetting it (the module may still count it; its result does not matter).
void CloseSession(CK_SESSION_HANDLE handle) {
  if (g_functions && handle != CK_INVALID_HANDLE) g_functions->C_CloseSession(handle);
}
}  // namespace

void DropSession(CK_SLOT_ID slot) {
  g_certificates.erase(slot);
  auto it = g_sessions.find(slot);
  if (it == g_sessions.end()) return;
  CloseSession(it->second.handle);
  g_sessions.erase(it);
}

void SetLastError(const std::string& text) { t_lastError = text; }
std::string LastError() { return t_lastError; }

std::string ModuleFailure() {
  auto lock = Lock();
  return g_failure;
}

void Reset() {
  auto lock = Lock();
  Unload();
  g_reported.clear();
  g_failure.clear();
}

std::vector<Token> PresentTokens(CK_FUNCTION_LIST_PTR f) {
  std::vector<Token> tokens;
  CK_ULONG count = 0;
  if (f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0) return tokens;
  std::vector<CK_SLOT_ID> slots(count);
  if (f->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) return tokens;
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
  // Tokens whose slot went away have no session any more.
  for (auto it = g_sessions.begin(); it != g_sessions.end();) {
    bool present = std::any_of(tokens.begin(), tokens.end(), [&](const Token& t) { return t.slot == it->first; });
    if (!present) CloseSession(it->second.handle);
    it = present ? std::next(it) : g_sessions.erase(it);
  }
  for (auto it = g_certificates.begin(); it != g_certificates.end();) {
    bool present = std::any_of(tokens.begin(), tokens.end(), [&](const Token& t) { return t.slot == it->first; });
    it = present ? std::next(it) : g_certificates.erase(it);
  }
  return tokens;
}

// How the user is shown a token: its label, and its serial number too when another present token has that label.
std::string TokenName(const Token& token, const std::vector<Token>& present) {
  const bool shared = std::any_of(present.begin(), present.end(), [&](const Token& t) {
    return t.slot != token.slot && t.label == token.label;
  });
  return shared ? token.label + " (serial " + token.serial + ")" : token.label;
}

// Whether the token in the slot is gone (taken out, or another one put in): what a failure means then, whatever
// code the module gave.
bool Gone(CK_FUNCTION_LIST_PTR f, const Token& token) {
  CK_ULONG count = 0;
  if (f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK) return true;
  std::vector<CK_SLOT_ID> slots(count);
  if (count && f->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) return true;
  slots.resize(count);
  if (std::find(slots.begin(), slots.end(), token.slot) == slots.end()) return true;
  CK_TOKEN_INFO info;
  if (f->C_GetTokenInfo(token.slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED)) return true;
  return Trimmed(info.serialNumber, sizeof info.serialNumber) != token.serial ||
         Trimmed(info.label, sizeof info.label) != token.label;
}

bool Matches(const Token& t, const Uri& u) {
  return (u.token.empty() || u.token == t.label) && (u.serial.empty() || u.serial == t.serial) &&
         (u.manufacturer.empty() || u.manufacturer == t.manufacturer) && (u.model.empty() || u.model == t.model);
}

CK_SESSION_HANDLE Session(CK_FUNCTION_LIST_PTR f, CK_SLOT_ID slot, CK_RV* rv) {
  SlotSession& s = g_sessions[slot];
  if (s.handle != CK_INVALID_HANDLE) {
    CK_SESSION_INFO info;
    *rv = f->C_GetSessionInfo(s.handle, &info);
    if (*rv == CKR_OK) return s.handle;
    CloseSession(s.handle);
    s.handle = CK_INVALID_HANDLE;
  }
  *rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s.handle);
  if (*rv != CKR_OK) {
    g_sessions.erase(slot);
    return CK_INVALID_HANDLE;
  }
  s.serial = ++g_sessionSerial;
  return s.handle;
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

std::vector<TokenCertificate> Certificates() {
  std::vector<TokenCertificate> out;
  auto lock = Lock();
  CK_FUNCTION_LIST_PTR f = Functions(lock);
  if (!f) return out;
  for (const Token& t : PresentTokens(f)) {
    CK_RV rv = CKR_OK;
    CK_SESSION_HANDLE s = Session(f, t.slot, &rv);
    if (s == CK_INVALID_HANDLE) continue;
    const unsigned sessionSerial = g_sessions[t.slot].serial;
    auto cached = g_certificates.find(t.slot);
    if (cached != g_certificates.end() && cached->second.serial == t.serial && cached->second.label == t.label &&
        cached->second.sessionSerial == sessionSerial) {
      out.insert(out.end(), cached->second.certificates.begin(), cached->second.certificates.end());
      continue;
    }
    SlotCertificates& read = g_certificates[t.slot];
    read = SlotCertificates{t.serial, t.label, sessionSerial, {}};
    // A token of trust anchors holds certificates but no keys: it has no digital IDs.
    bool keys = !Find(f, s, CKO_PRIVATE_KEY, nullptr, 1).empty() || !Find(f, s, CKO_PUBLIC_KEY, nullptr, 1).empty();
    if (!keys && !(t.flags & CKF_LOGIN_REQUIRED)) continue;
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
      read.certificates.push_back(c);
      out.push_back(std::move(c));
    }
  }
  // Modules give objects in no particular order: a stable one for the lists.
  std::stable_sort(out.begin(), out.end(), [](const TokenCertificate& a, const TokenCertificate& b) {
    return std::tie(a.tokenLabel, a.label) < std::tie(b.tokenLabel, b.label);
  });
  return out;
}

bool TokenPresent(const std::string& uri) {
  Uri u;
  if (!ParseUri(uri, &u)) return false;
  auto lock = Lock();
  CK_FUNCTION_LIST_PTR f = Functions(lock);
  if (!f) return false;
  for (const Token& t : PresentTokens(f))
    if (Matches(t, u)) return true;
  return false;
}

// Logs the token in unless it is already; asks for the PIN as long as the user gives wrong ones and the token
// takes them. The PIN lives only in this function and is wiped as soon as the token has seen it. name is how the
// token is shown (see TokenName).
bool Login(CK_FUNCTION_LIST_PTR f, std::unique_lock<std::recursive_mutex>& lock, const Token& token,
           const std::string& name, CK_SESSION_HANDLE* session, std::string* error) {
  CK_RV rv = CKR_OK;
  if (!(token.flags & CKF_LOGIN_REQUIRED)) return true;
  auto locked = [&] {
    *error = "The PIN of the token \"" + name + "\" is locked.";
    lock.unlock();
    ReportLocked(name);
    lock.lock();
    return false;
  };
  // A token taken out gives whatever code its module chooses (a general error, for one): it is told as removal.
  auto failed = [&](const std::string& what) {
    if (TokenGone(rv) || Gone(f, token)) {
      DropSession(token.slot);
      *error = "The token \"" + name + "\" was removed.";
    } else {
      *error = "The token \"" + name + "\" " + what + ": " + RvText(rv) + ".";
    }
    return false;
  };
  bool retry = false;
  for (;;) {
    CK_SESSION_INFO info;
    rv = f->C_GetSessionInfo(*session, &info);
    if (rv != CKR_OK) return failed("cannot be used");
    if (info.state == CKS_RO_USER_FUNCTIONS || info.state == CKS_RW_USER_FUNCTIONS) return true;
    CK_TOKEN_INFO ti;
    if ((rv = f->C_GetTokenInfo(token.slot, &ti)) != CKR_OK) return failed("cannot be used");
    if (ti.flags & CKF_USER_PIN_LOCKED) return locked();
    const bool pinPad = ti.flags & CKF_PROTECTED_AUTHENTICATION_PATH;
    if (pinPad) {
      rv = f->C_Login(*session, CKU_USER, nullptr, 0);
    } else {
      PinRequest request{name, ti.flags, retry};
      std::string pin;
      // The dialog runs without the lock: other threads may list tokens meanwhile.
      const unsigned generation = Generation();
      lock.unlock();
      bool given = AskPin(request, &pin);
      lock.lock();
      if (!given) {
        *error = "The PIN entry for the token \"" + name + "\" was cancelled.";
        return false;
      }
      if (generation != Generation() || Gone(f, token)) {
        OPENSSL_cleanse(pin.data(), pin.size());
        if (generation == Generation()) DropSession(token.slot);
        *error = "The token \"" + name + "\" was removed.";
        return false;
      }
      rv = f->C_Login(*session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin.data()), pin.size());
      OPENSSL_cleanse(pin.data(), pin.size());
    }
    if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return true;
    if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE) {
      // The reader's own keypad cannot be cancelled from here: a wrong PIN there ends the login.
      if (pinPad) {
        *error = "The PIN typed on the reader of the token \"" + name + "\" was wrong.";
        return false;
      }
      retry = true;
      continue;
    }
    if (rv == CKR_PIN_LOCKED) return locked();
    return failed("refused the login");
  }
}

bool OpenKey(const std::string& uri, KeyHandle* out, std::string* error) {
  Uri u;
  if (!ParseUri(uri, &u) || u.id.empty()) {
    *error = "The key link \"" + uri + "\" is not a PKCS#11 key URI.";
    return false;
  }
  auto lock = Lock();
  CK_FUNCTION_LIST_PTR f = Functions(lock);
  if (!f) {
    *error = g_failure.empty() ? "No smart-card module is loaded." : g_failure;
    return false;
  }
  const std::vector<Token> tokens = PresentTokens(f);
  auto t = std::find_if(tokens.begin(), tokens.end(), [&](const Token& k) { return Matches(k, u); });
  if (t == tokens.end()) {
    *error = "The token \"" + u.token + "\" is not present.";
    return false;
  }
  CK_RV rv = CKR_OK;
  CK_SESSION_HANDLE s = Session(f, t->slot, &rv);
  if (s == CK_INVALID_HANDLE) {
    *error = "The token \"" + t->label + "\" cannot be used: " + RvText(rv) + ".";
    return false;
  }
  if (!Login(f, lock, *t, TokenName(*t, tokens), &s, error)) return false;
  // The login may have waited for the user: take the session again (the token may be gone).
  s = Session(f, t->slot, &rv);
  std::vector<CK_OBJECT_HANDLE> keys =
      s == CK_INVALID_HANDLE ? std::vector<CK_OBJECT_HANDLE>() : Find(f, s, CKO_PRIVATE_KEY, &u.id, 1);
  if (keys.empty()) {
    *error = "The private key of \"" + u.object + "\" is not on the token \"" + t->label + "\".";
    return false;
  }
  out->slot = t->slot;
  out->session = s;
  out->sessionSerial = g_sessions[t->slot].serial;
  out->key = keys.front();
  out->generation = Generation();
  out->tokenLabel = t->label;
  std::vector<uint8_t> type = Attribute(f, s, keys.front(), CKA_KEY_TYPE);
  out->keyType = type.size() == sizeof(CK_ULONG) ? *reinterpret_cast<CK_ULONG*>(type.data()) : CKK_RSA;
  out->modulus = Attribute(f, s, keys.front(), CKA_MODULUS);
  out->exponent = Attribute(f, s, keys.front(), CKA_PUBLIC_EXPONENT);
  if (out->keyType == CKK_EC) {
    // The point is an attribute of the public key object of the same id.
    out->ecParams = Attribute(f, s, keys.front(), CKA_EC_PARAMS);
    for (CK_OBJECT_HANDLE p : Find(f, s, CKO_PUBLIC_KEY, &u.id, 1)) out->ecPoint = Attribute(f, s, p, CKA_EC_POINT);
    if (out->ecParams.empty() || out->ecPoint.empty()) {
      *error = "The token \"" + t->label + "\" does not show the public half of the key.";
      return false;
    }
  }
  if (out->keyType == CKK_RSA && (out->modulus.empty() || out->exponent.empty())) {
    *error = "The token \"" + t->label + "\" does not show the public half of the key.";
    return false;
  }
  return true;
}

std::string GenerateKey(const std::string& label, unsigned bits, std::string* error) {
  auto lock = Lock();
  CK_FUNCTION_LIST_PTR f = Functions(lock);
  if (!f) {
    *error = g_failure.empty() ? "No smart-card module is loaded." : g_failure;
    return std::string();
  }
  const std::vector<Token> tokens = PresentTokens(f);
  auto t = std::find_if(tokens.begin(), tokens.end(), [](const Token& k) { return !(k.flags & CKF_WRITE_PROTECTED); });
  if (t == tokens.end()) {
    *error = "No smart card or token that can hold a new key is present.";
    return std::string();
  }
  const Token token = *t;
  CK_RV rv = CKR_OK;
  CK_SESSION_HANDLE s = Session(f, token.slot, &rv);
  if (s == CK_INVALID_HANDLE) {
    *error = "The token \"" + token.label + "\" cannot be used: " + RvText(rv) + ".";
    return std::string();
  }
  if (!Login(f, lock, token, TokenName(token, tokens), &s, error)) return std::string();
  // Objects are made in a read-write session of their own; the login covers it.
  CK_SESSION_HANDLE rw = CK_INVALID_HANDLE;
  rv = f->C_OpenSession(token.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &rw);
  if (rv != CKR_OK) {
    *error = "The token \"" + token.label + "\" cannot make a key: " + RvText(rv) + ".";
    return std::string();
  }
  std::vector<uint8_t> id(20);
  if (RAND_bytes(id.data(), static_cast<int>(id.size())) != 1) {
    f->C_CloseSession(rw);
    *error = "No random key identifier could be made.";
    return std::string();
  }
  CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
  CK_ULONG modulusBits = bits;
  CK_BYTE exponent[] = {0x01, 0x00, 0x01};
  CK_UTF8CHAR_PTR name = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(label.data()));
  CK_ATTRIBUTE pub[] = {{CKA_TOKEN, &yes, sizeof yes},           {CKA_ENCRYPT, &yes, sizeof yes},
                        {CKA_VERIFY, &yes, sizeof yes},          {CKA_WRAP, &yes, sizeof yes},
                        {CKA_MODULUS_BITS, &modulusBits, sizeof modulusBits},
                        {CKA_PUBLIC_EXPONENT, exponent, sizeof exponent},
                        {CKA_ID, id.data(), id.size()},          {CKA_LABEL, name, label.size()}};
  CK_ATTRIBUTE priv[] = {{CKA_TOKEN, &yes, sizeof yes},    {CKA_PRIVATE, &yes, sizeof yes},
                         {CKA_SENSITIVE, &yes, sizeof yes}, {CKA_EXTRACTABLE, &no, sizeof no},
                         {CKA_DECRYPT, &yes, sizeof yes},   {CKA_SIGN, &yes, sizeof yes},
                         {CKA_UNWRAP, &yes, sizeof yes},    {CKA_ID, id.data(), id.size()},
                         {CKA_LABEL, name, label.size()}};
  CK_MECHANISM mechanism{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
  CK_OBJECT_HANDLE pubKey = CK_INVALID_HANDLE, privKey = CK_INVALID_HANDLE;
  rv = f->C_GenerateKeyPair(rw, &mechanism, pub, sizeof pub / sizeof pub[0], priv, sizeof priv / sizeof priv[0],
                            &pubKey, &privKey);
  f->C_CloseSession(rw);
  if (rv != CKR_OK) {
    if (TokenGone(rv)) DropSession(token.slot);
    *error = "The token \"" + token.label + "\" could not make the key: " + RvText(rv) + ".";
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

CK_RV RunOnToken(const KeyHandle& k, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op) {
  auto lock = Lock();
  if (k.generation != Generation() || !g_functions) return CKR_DEVICE_REMOVED;
  auto it = g_sessions.find(k.slot);
  if (it == g_sessions.end() || it->second.handle != k.session || it->second.serial != k.sessionSerial)
    return CKR_DEVICE_REMOVED;
  CK_RV rv = op(g_functions, k.session);
  if (TokenGone(rv)) DropSession(k.slot);
  return rv;
}

}  // namespace kx::p11
