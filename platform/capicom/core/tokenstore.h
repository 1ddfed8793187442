// The certificates of present smart cards and tokens as entries of the engine's stores. The current user's "My"
// shows them after the user's own (as a card's certificates are propagated to the personal store when it is
// inserted), and the card stores "SmartCard" and "eToken" show them too. Each is linked to its key on the token
// by a PKCS#11 URI; none can be removed through a store.
#pragma once

#include <string>
#include <vector>

#include "platform/capicom/core/store.h"

namespace kx::capi {

bool IsTokenView(long location, const std::string& name);
// Appends the token certificates that the list lacks; one it holds without a key gains the token's key.
void AppendTokenEntries(std::vector<StoreEntry>& list);
// True when a present token holds the certificate.
bool IsTokenCertificate(const std::string& thumbprint);
// True when a present token holds any certificate.
bool AnyTokenCertificate();

}  // namespace kx::capi
