// Shared by the module, key and dialog code of the PKCS#11 layer.
#pragma once

#include <p11-kit/pkcs11.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/pkcs11/pkcs11.h"

namespace kx::p11 {

struct Token {
  CK_SLOT_ID slot = 0;
  std::string label, manufacturer, model, serial;
  CK_FLAGS flags = 0;
};

// A private key found on a token, valid while its session lives (the generation changes at Reset).
struct KeyHandle {
  CK_SLOT_ID slot = 0;
  CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
  unsigned sessionSerial = 0;  // which opening of the slot's session
  CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
  CK_KEY_TYPE keyType = CKK_RSA;
  unsigned generation = 0;
  std::string tokenLabel;
  std::vector<uint8_t> modulus, exponent;  // the public half (RSA)
  std::vector<uint8_t> ecParams, ecPoint;  // the public half (EC): the curve, the point as a DER OCTET STRING
};

// What the PIN prompt is told.
struct PinRequest {
  std::string tokenLabel;        // how the token is shown: its label, with its serial number when labels collide
  unsigned long tokenFlags = 0;  // the token's flags: PIN count low, final try
  bool retry = false;            // the previous PIN was wrong
};

// What the module asks of the user, given by its caller: the module itself shows nothing.
struct Prompts {
  // False when the user cancelled; otherwise *pin holds what was typed, wiped by the module once used.
  std::function<bool(const PinRequest&, std::string* pin)> askPin;
  std::function<void(const std::string& token)> reportLocked;
  // Once per module that cannot be loaded; failure describes why.
  std::function<void(const std::string& failure)> reportModuleFailure;
};

// Why a token operation failed; the words are made by Describe, above the module.
enum class Fault {
  None,
  NoModule,         // detail: why the module cannot be loaded (empty: none is)
  BadUri,           // detail: the URI
  TokenAbsent,
  TokenUnusable,    // rv
  Cancelled,        // the PIN entry
  Locked,
  WrongPinOnPad,
  Removed,
  LoginRefused,     // rv
  KeyAbsent,        // detail: the key's label
  NoPublicHalf,
  NoWritableToken,
  CannotMakeKey,    // rv: no read-write session
  NoRandom,
  KeyNotMade,       // rv
};
struct Failure {
  Fault fault = Fault::None;
  std::string token;  // as shown to the user
  CK_RV rv = CKR_OK;
  std::string detail;
};
std::string Describe(const Failure& failure);

std::string RvText(CK_RV rv);
bool TokenGone(CK_RV rv);
void SetLastError(const std::string& text);

// The module's operations, for the layer's entry points (which give the prompts and make the sentences).
std::vector<TokenCertificate> ListCertificates(const Prompts& prompts);
bool IsTokenPresent(const std::string& uri, const Prompts& prompts);
// Finds and logs in the key of a URI.
bool OpenKey(const std::string& uri, const Prompts& prompts, KeyHandle* out, Failure* failure);
std::string MakeKey(const std::string& label, unsigned bits, const Prompts& prompts, Failure* failure);
// Runs one operation on the key's session under the module's lock; CKR_DEVICE_REMOVED when the session is gone.
CK_RV RunOnToken(const KeyHandle& key, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op);

}  // namespace kx::p11
