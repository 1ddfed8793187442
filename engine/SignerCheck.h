// The check of a run's signers before it signs anything: each signer's own digital ID (its certificate in the
// user's "My" store, holding the private key) and, with "verify before signing", the engine's verdict on it.
// Every signing writer (the signer and package workers, the one-click runner, the archive run) checks with
// these.
#pragma once

#include <vector>

#include "engine/CapicomCertificate.h"
#include "platform/mfc/cstring.h"

class CCertificateList;

// The certificates of a list, in order.
std::vector<CCapicomCertificate> CertificatesOf(const CCertificateList& list);

// For each signer, the first certificate of the user's "My" store that equals it and holds its private key, in
// signer order. False when the store cannot be read or a signer has none there; held then keeps those found.
bool FindSignerKeys(const std::vector<CCapicomCertificate>& signers, std::vector<CCapicomCertificate>& held);

// The validity verdict (CCertPolicy) on each signer in turn: false at the first it refuses, with the verdict's
// text in reason. A refused signer still signs: the run's success carries the text as a warning. Engine
// errors of the check pass to the caller.
bool SignersPassVerdict(const std::vector<CCapicomCertificate>& signers, CString& reason);
