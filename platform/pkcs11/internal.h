// Shared by the module, key and dialog code of the PKCS#11 layer.
#pragma once

#include <p11-kit/pkcs11.h>

#include <functional>
#include <map>
#include <mutex>
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

std::string RvText(CK_RV rv);
bool TokenGone(CK_RV rv);
void SetLastError(const std::string& text);
// Finds and logs in the key of a URI.
bool OpenKey(const std::string& uri, KeyHandle* out, std::string* error);
// Runs one operation on the key's session under the layer's lock; CKR_DEVICE_REMOVED when the session is gone.
CK_RV RunOnToken(const KeyHandle& key, const std::function<CK_RV(CK_FUNCTION_LIST_PTR, CK_SESSION_HANDLE)>& op);

}  // namespace kx::p11
