// The system's trust anchors (the bundle the operating system keeps, /etc/ssl/certs/ca-certificates.crt, or the
// file KESMORA_TRUST_ANCHORS names) seen in the "Root" stores, read-only. Removing one records a distrust entry
// (a "distrusted" file of thumbprints in the store's folder) that hides it, from validation too; adding it back
// removes the entry.
#pragma once

#include <string>
#include <vector>

#include "platform/capicom/core/store.h"

namespace kx::capi {

// The bundle's path.
std::string TrustAnchorBundle();
// Every certificate of the bundle (parsed once for each version of the file).
std::vector<CertRef> TrustAnchors();

// Store hooks, for the folder stores of a location; they do nothing for stores other than "Root".
// Appends the anchors the store shows (not distrusted, not in the list already).
void AddTrustAnchors(long location, const std::string& name, std::vector<StoreEntry>& list);
// Records a distrust entry for an anchor: S_OK, or CRYPT_E_NOT_FOUND when the thumbprint is no anchor.
HRESULT DistrustTrustAnchor(long location, const std::string& name, const std::string& thumbprint);
// An anchor added back: its distrust entries go. True when the certificate is an anchor (nothing else to store).
bool TrustAnchorAgain(long location, const std::string& name, const CertData& cert, HRESULT& hr);

}  // namespace kx::capi
