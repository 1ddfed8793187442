#include "engine/SignerCheck.h"

#include "engine/CapicomCertificates.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "platform/capicom/capicom_defs.h"

std::vector<CCapicomCertificate> CertificatesOf(const CCertificateList& list) {
  std::vector<CCapicomCertificate> certificates;
  for (int i = 0; i < list.GetCount(); ++i) certificates.push_back(list.GetAt(i));
  return certificates;
}

bool FindSignerKeys(const std::vector<CCapicomCertificate>& signers, std::vector<CCapicomCertificate>& held) {
  held.clear();
  CCapicomStore store;
  if (FAILED(store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY))) return false;
  const CCapicomCertificates mine = store.GetCertificates();
  const LONG count = mine.GetCount();
  bool all = true;
  for (const CCapicomCertificate& signer : signers) {
    bool found = false;
    for (LONG i = 1; i <= count && !found; ++i) {
      CCapicomCertificate candidate = mine.GetItem(i);
      found = candidate.IsEqual(signer) && candidate.HasPrivateKey();
      if (found) held.push_back(candidate);
    }
    all = all && found;
  }
  return all;
}

bool SignersPassVerdict(const std::vector<CCapicomCertificate>& signers, CString& reason) {
  const CCertPolicy policy;
  for (const CCapicomCertificate& signer : signers) {
    CBstrString text;
    bool ok = false;
    policy.ValidateCertificate(signer, text, ok);
    if (!ok) {
      reason = text.GetAnsi() ? text.GetAnsi() : "";
      return false;
    }
  }
  return true;
}
