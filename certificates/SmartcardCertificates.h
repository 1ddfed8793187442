// The certificates of the user's smart card or token, listed the same way by the selection sheet's smart-card
// page and the certificate manager's smart-card page.
#pragma once

#include "certificates/CertificateArray.h"

class CCapicomObjectSet;

namespace smartcard {

// Where the card's certificates come from: on Windows NT 4 the card's own store, of the kind the smart-card
// settings name; on later versions the personal certificates whose key is on a removable device.
enum class Source { PhysicalStore, SmartCardProvider, RemovableKeys };
Source ChooseSource();
// The engine store that holds the card's certificates for a store source.
const char* StoreNameFor(Source source);

// Fills out with the card's certificates, in store order. personal is the list of the sheet's personal page
// (digital IDs with their keys): a card store's certificate is listed as its personal copy found there. Without
// it, the removable-key path reads the user's "My" store itself (through the engine set's store). Engine
// errors are raised; what was collected up to then stays in out.
void CollectCardCertificates(CCapicomObjectSet& objects, const CCertificateArray* personal, CCertificateArray& out);

}  // namespace smartcard
