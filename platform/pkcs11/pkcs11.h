// Smart cards and USB tokens over PKCS#11. One module is loaded per process: the one named by the registry value
// "Module" under "Software\Kesmora\SmartCards" (the user's, then the machine's), else p11-kit's proxy module,
// through which every token the system knows appears. Certificates on present tokens are linked to their
// private keys by PKCS#11 URIs (RFC 7512); the keys themselves never leave the token.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace kx::p11 {

// The registry key of the module setting.
inline constexpr const char* kSettingsKey = "Software\\Kesmora\\SmartCards";
inline constexpr const char* kProxyModule = "p11-kit-proxy.so";

struct TokenCertificate {
  std::vector<uint8_t> der;
  std::string label;       // the certificate object's label
  std::string tokenLabel;
  std::string keyUri;      // the private key that goes with it
};

// The module in use: the registry setting or the proxy.
std::string ModulePath();

// The certificates of every present token that have a key id. Empty when no module can be loaded (that is
// reported once per module, see ModuleFailure).
std::vector<TokenCertificate> Certificates();

// True when the token named by the URI is present now.
bool TokenPresent(const std::string& uri);

// The private key of a URI as an OpenSSL key whose private operations run on the token. The token is logged in
// first, asking the user for the PIN when it needs one. Null on failure, with *error saying why (a cancelled PIN,
// a locked token, a token that is gone, a key that is neither RSA nor EC). EC keys sign only.
EVP_PKEY* LoadKey(const std::string& uri, std::string* error);

// Makes an RSA key pair on the first present token (logging it in, asking for the PIN), labelled so; the URI
// of its private key, or empty with *error saying why.
std::string GenerateKey(const std::string& label, unsigned bits, std::string* error);

// The last failure to load a module in this process, or empty; the failure was reported to the user once.
std::string ModuleFailure();

// Ends every session, logs out and unloads the module: the next call starts afresh (tests, and a module
// setting that changed).
void Reset();

// ----- URIs -----
struct Uri {
  std::string token, manufacturer, serial, model, object;
  std::vector<uint8_t> id;
  std::string type;  // "cert", "private", ...
};
std::string FormatUri(const Uri& uri);
bool ParseUri(const std::string& text, Uri* out);

}  // namespace kx::p11

namespace kx::p11 {
// Why the last token operation of this thread failed (a sign or decrypt that ran on the token, a key made on it),
// or empty.
std::string LastError();
}  // namespace kx::p11
