// Private keys of certificates: one PKCS#8 file per key container, readable by its owner only, with a small
// description file beside it. A certificate in a store points at its container by name.
#pragma once

#include <optional>
#include <string>

#include "platform/capicom/core/certdata.h"

namespace kx::capi {

struct KeyLink {
  std::string container;   // file name of the key, without extension
  bool machine = false;    // in the machine's key folder instead of the user's
  bool exportable = false;
  bool userProtected = false;
  long keySpec = 1;        // 1 key exchange, 2 signature
  long providerType = 1;
  std::string providerName;
  std::string uri;         // PKCS#11 URI of a key on a token: the container holds only this link
};

// The provider name our software keys carry, and that of keys on tokens.
extern const char* const kSoftwareProviderName;
extern const char* const kTokenProviderName;

// Folder of the key containers of the user or the machine.
std::string KeyDir(bool machine);
// Container names are plain file names: letters, digits and ".-_{}".
bool ValidContainerName(const std::string& name);

// Writes the key as PKCS#8 (mode 0600) and its description. S_OK, or a failure code.
HRESULT SaveKey(EVP_PKEY* key, const KeyLink& link);
// Writes only the description: a key container that holds no key yet.
HRESULT SaveKeyLink(const KeyLink& link);
// The key of a link; null when its file is missing or unreadable.
PKeyPtr LoadKey(const KeyLink& link);
// Completes a link (exportable flag, provider) from the container's description; false when none exists.
bool ReadKeyLink(const std::string& container, bool machine, KeyLink& link);
bool KeyExists(const KeyLink& link);
HRESULT DeleteKey(const KeyLink& link);
// Removes the container: its key (if any) and its description; NTE_BAD_KEYSET when neither exists.
HRESULT DeleteKeyContainer(const KeyLink& link);
// The container name used for a key that comes with a certificate (stable, so importing twice reuses it).
std::string ContainerNameFor(const CertData& cert);
// True when the key is the private half of the certificate's public key.
bool KeyMatches(EVP_PKEY* key, const CertData& cert);

}  // namespace kx::capi
