#include "certificates/SmartcardCertificates.h"

#include <strings.h>

#include "core/WindowsVersion.h"
#include "certificates/SmartcardSettings.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CapicomParts.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/registry.h"

namespace smartcard {

Source ChooseSource() {
  WindowsVersionRecord version{};
  CWindowsVersion::GetVersionInfo(&version);
  if (!CWindowsVersion::IsWindowsNT4(&version)) return Source::RemovableKeys;
  CSmartcardSettings settings(HKEY_CURRENT_USER, "%s", CSmartcardSettings::kKeyPath);
  settings.Load();
  return strcasecmp(settings.SmartCardStore, "eToken") == 0 ? Source::PhysicalStore : Source::SmartCardProvider;
}

const char* StoreNameFor(Source source) {
  switch (source) {
    case Source::PhysicalStore: return "eToken";
    case Source::SmartCardProvider: return "SmartCard";
    default: return nullptr;
  }
}

void CollectCardCertificates(CCapicomObjectSet& objects, const CCertificateArray* personal, CCertificateArray& out) {
  out.RemoveAll();
  const Source source = ChooseSource();
  if (source == Source::RemovableKeys) {
    CCertificateArray mine;
    if (personal) {
      mine.Copy(*personal);
    } else {
      objects.m_Store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY);
      CCapicomCertificates certificates = objects.m_Store.GetCertificates();
      for (LONG i = 1; i <= certificates.GetCount(); ++i) mine.Add(certificates.GetItem(i));
    }
    for (INT_PTR i = 0; i < mine.GetSize(); ++i) {
      const CCapicomCertificate& certificate = mine[i];
      if (certificate.HasPrivateKey() && certificate.GetPrivateKey().IsRemovable()) out.Add(certificate);
    }
    return;
  }
  // A card store that cannot be opened leaves the engine store as it was.
  CCapicomStore card;
  if (SUCCEEDED(card.Open(CAPICOM_CURRENT_USER_STORE, StoreNameFor(source), CAPICOM_STORE_OPEN_READ_ONLY)))
    objects.m_Store = card;
  if (!personal) return;
  CCapicomCertificates certificates = objects.m_Store.GetCertificates();
  const LONG count = certificates.GetCount();
  for (LONG i = 1; i <= count; ++i) {
    CCapicomCertificate certificate = certificates.GetItem(i);
    if (!certificate.HasPrivateKey()) continue;
    // The personal copy is the one listed: its key is the user's.
    INT_PTR at = personal->Find(certificate);
    if (at >= 0) out.Add((*personal)[at]);
  }
}

}  // namespace smartcard
