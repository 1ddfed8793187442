// Chain building and status: OpenSSL's verification over the user's stores, its errors mapped onto the
// engine's trust status bits, and the verdict under a set of check flags.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/encoded.h"

namespace kx::capi {

struct ChainParams {
  long checkFlags = CAPICOM_DEFAULT_CHECK_FLAG;
  double verificationTime = 0;  // OLE date; 0 means now
  std::string usageOid;         // extended key usage the certificate must allow; empty for any
  long urlRetrievalTimeout = 15;
};

struct ChainResult {
  std::vector<CertRef> certs;          // [0] the certificate, last the top of the chain
  std::vector<uint32_t> status;        // trust status bits per certificate
  std::vector<std::string> errorText;  // first verification error per certificate, empty when none
  uint32_t chainStatus = 0;            // the bits of every certificate together
  bool valid = false;                  // no error of a kind the check flags ask for
  HRESULT error = S_OK;                // platform code of the first error that counts
};

struct TrustIndex;

// Where a chain's certificates and revocation lists come from besides the certificate itself.
struct TrustSources {
  std::vector<CertRef> roots;         // trust anchors
  std::vector<CertRef> intermediates; // candidates for the rest of the chain
  std::vector<CrlRef> crls;
  // The anchors and candidates looked up by name, made at the first chain built over them and shared by
  // copies; whoever changes roots or intermediates afterwards resets it.
  mutable std::shared_ptr<const TrustIndex> index;
};
// The current user's view: roots from "Root", intermediates from "CA", "My" and "AddressBook", revocation
// lists from all of these (user's and machine's).
TrustSources UserTrustSources();
// The same view, read once for every chain built while a listing scope is open on this thread (a list of
// thousands of certificates reads the stores once), else read anew.
std::shared_ptr<const TrustSources> SharedUserTrustSources();

ChainResult BuildChain(const CertRef& cert, const ChainParams& params, const TrustSources& sources);
// With the user's stores plus extra certificates (those of a message, for example).
ChainResult BuildChain(const CertRef& cert, const ChainParams& params, const std::vector<CertRef>& extra = {});

// The status bits that count under the given check flags.
uint32_t CountedStatusBits(long checkFlags);
// The platform result code that stands for the first of the given status bits.
HRESULT StatusToResult(uint32_t bits);
// Dotted identifier of an engine EKU name (CAPICOM_EKU); empty for "other".
std::string EkuNameToOid(long name);

}  // namespace kx::capi
