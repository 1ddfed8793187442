#include "platform/capicom/core/tokenstore.h"

#include <algorithm>

#include "platform/capicom/capicom_defs.h"
#include "platform/pkcs11/pkcs11.h"

namespace kx::capi {

bool IsTokenView(long location, const std::string& name) {
  if (location != CAPICOM_CURRENT_USER_STORE) return false;
  std::string lower = AsciiLower(name);
  return lower == "my" || lower == "smartcard" || lower == "etoken";
}

void AppendTokenEntries(std::vector<StoreEntry>& list) {
  for (const kx::p11::TokenCertificate& t : kx::p11::Certificates()) {
    CertRef cert = CertData::Parse(Bytes(t.der.begin(), t.der.end()));
    if (!cert) continue;
    KeyLink link;
    link.container = t.label.empty() ? t.tokenLabel : t.label;
    link.uri = t.keyUri;
    link.providerName = kTokenProviderName;
    link.keySpec = 1;
    link.exportable = false;
    auto same = std::find_if(list.begin(), list.end(),
                             [&](const StoreEntry& e) { return e.cert->thumbprint() == cert->thumbprint(); });
    if (same != list.end()) {
      if (!same->key) same->key = link;
      continue;
    }
    StoreEntry e;
    e.cert = cert;
    e.key = link;
    list.push_back(std::move(e));
  }
}

bool AnyTokenCertificate() { return !kx::p11::Certificates().empty(); }

bool IsTokenCertificate(const std::string& thumbprint) {
  std::vector<StoreEntry> tokens;
  AppendTokenEntries(tokens);
  return std::any_of(tokens.begin(), tokens.end(),
                     [&](const StoreEntry& e) { return e.cert->thumbprint() == thumbprint; });
}

}  // namespace kx::capi
