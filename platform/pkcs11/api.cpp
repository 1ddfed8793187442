// The layer's entry points: the module given the platform's dialogs as its prompts, and its failure codes
// turned into the sentences the engine passes on.
#include "platform/pkcs11/internal.h"
#include "platform/pkcs11/pindialog.h"

namespace kx::p11 {

std::string Describe(const Failure& f) {
  const std::string token = "the token \"" + f.token + "\"", Named = "The token \"" + f.token + "\"";
  switch (f.fault) {
    case Fault::None: return std::string();
    case Fault::NoModule: return f.detail.empty() ? "No smart-card module is loaded." : f.detail;
    case Fault::BadUri: return "The key link \"" + f.detail + "\" is not a PKCS#11 key URI.";
    case Fault::TokenAbsent: return Named + " is not present.";
    case Fault::TokenUnusable: return Named + " cannot be used: " + RvText(f.rv) + ".";
    case Fault::Cancelled: return "The PIN entry for " + token + " was cancelled.";
    case Fault::Locked: return "The PIN of " + token + " is locked.";
    case Fault::WrongPinOnPad: return "The PIN typed on the reader of " + token + " was wrong.";
    case Fault::Removed: return Named + " was removed.";
    case Fault::LoginRefused: return Named + " refused the login: " + RvText(f.rv) + ".";
    case Fault::KeyAbsent: return "The private key of \"" + f.detail + "\" is not on " + token + ".";
    case Fault::NoPublicHalf: return Named + " does not show the public half of the key.";
    case Fault::NoWritableToken: return "No smart card or token that can hold a new key is present.";
    case Fault::CannotMakeKey: return Named + " cannot make a key: " + RvText(f.rv) + ".";
    case Fault::NoRandom: return "No random key identifier could be made.";
    case Fault::KeyNotMade: return Named + " could not make the key: " + RvText(f.rv) + ".";
  }
  return "The token operation failed.";
}

std::vector<TokenCertificate> Certificates() { return ListCertificates(DialogPrompts()); }

bool TokenPresent(const std::string& uri) { return IsTokenPresent(uri, DialogPrompts()); }

std::string GenerateKey(const std::string& label, unsigned bits, std::string* error) {
  Failure failure;
  std::string uri = MakeKey(label, bits, DialogPrompts(), &failure);
  if (uri.empty()) *error = Describe(failure);
  SetLastError(uri.empty() ? *error : std::string());
  return uri;
}

}  // namespace kx::p11
