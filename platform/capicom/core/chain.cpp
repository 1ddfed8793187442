#include "platform/capicom/core/chain.h"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <openssl/x509v3.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/capicom/core/store.h"
#include "platform/ldap/ldap.h"
#include "platform/services/http.h"

namespace kx::capi {
namespace {

constexpr uint32_t kUnknownError = 0x80000000u;  // an error no trust bit names; still makes the chain invalid
constexpr uint32_t kRevocationBits = CAPICOM_TRUST_IS_REVOKED | CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN |
                                     CAPICOM_TRUST_IS_OFFLINE_REVOCATION;

uint32_t ErrorBits(int err) {
  switch (err) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return CAPICOM_TRUST_IS_NOT_TIME_VALID;
    case X509_V_ERR_CERT_REVOKED:
      return CAPICOM_TRUST_IS_REVOKED;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
      return CAPICOM_TRUST_IS_NOT_SIGNATURE_VALID;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
    case X509_V_ERR_KEYUSAGE_NO_DIGITAL_SIGNATURE:
      return CAPICOM_TRUST_IS_NOT_VALID_FOR_USAGE;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return CAPICOM_TRUST_IS_UNTRUSTED_ROOT;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
      return CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN | CAPICOM_TRUST_IS_OFFLINE_REVOCATION;
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
    case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
    case X509_V_ERR_CRL_PATH_VALIDATION_ERROR:
      return CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN;
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
    case X509_V_ERR_INVALID_EXTENSION:
      return CAPICOM_TRUST_INVALID_EXTENSION;
    case X509_V_ERR_INVALID_POLICY_EXTENSION:
    case X509_V_ERR_NO_EXPLICIT_POLICY:
      return CAPICOM_TRUST_INVALID_POLICY_CONSTRAINTS;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_INVALID_NON_CA:
    case X509_V_ERR_PROXY_PATH_LENGTH_EXCEEDED:
      return CAPICOM_TRUST_INVALID_BASIC_CONSTRAINTS;
    case X509_V_ERR_SUBTREE_MINMAX:
    case X509_V_ERR_UNSUPPORTED_CONSTRAINT_TYPE:
    case X509_V_ERR_UNSUPPORTED_CONSTRAINT_SYNTAX:
      return CAPICOM_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT;
    case X509_V_ERR_UNSUPPORTED_NAME_SYNTAX:
      return CAPICOM_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT;
    case X509_V_ERR_PERMITTED_VIOLATION:
      return CAPICOM_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT;
    case X509_V_ERR_EXCLUDED_VIOLATION:
      return CAPICOM_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return CAPICOM_TRUST_IS_PARTIAL_CHAIN;
    default:
      return kUnknownError;
  }
}

struct Recorded {
  int depth;
  int error;
};

int VerifyCallback(int ok, X509_STORE_CTX* ctx) {
  if (!ok) {
    auto* list = static_cast<std::vector<Recorded>*>(X509_STORE_CTX_get_app_data(ctx));
    if (list) list->push_back({X509_STORE_CTX_get_error_depth(ctx), X509_STORE_CTX_get_error(ctx)});
  }
  // Go on: every error of every certificate is wanted, the verdict comes from the check flags.
  return 1;
}

void AddAll(std::vector<CertRef>& to, const std::vector<StoreEntry>& from) {
  for (const StoreEntry& e : from) to.push_back(e.cert);
}

void AddStoreSources(TrustSources& s, const char* name, bool roots) {
  std::shared_ptr<CertStore> store;
  if (CertStore::Open(CAPICOM_CURRENT_USER_STORE, name, CAPICOM_STORE_OPEN_READ_ONLY, store) != S_OK) return;
  AddAll(roots ? s.roots : s.intermediates, store->Entries(true));
  for (CrlRef& c : store->Crls()) s.crls.push_back(std::move(c));
}

bool AllowsUsage(const CertData& c, const std::string& oid) {
  EkuInfo eku = c.extendedKeyUsage();
  if (!eku.present) return true;
  return std::find(eku.oids.begin(), eku.oids.end(), oid) != eku.oids.end() ||
         std::find(eku.oids.begin(), eku.oids.end(), "2.5.29.37.0") != eku.oids.end();
}

ChainResult VerifyOnce(const CertRef& cert, const ChainParams& params, const TrustSources& sources,
                       const std::vector<CertRef>& extra, const std::vector<CrlRef>& extraCrls);

// Revocation lists fetched from distribution points, kept for the process while they are current.
std::mutex g_fetchedMutex;
std::map<std::string, CrlRef>& Fetched() {
  static auto* m = new std::map<std::string, CrlRef>();
  return *m;
}

bool Current(const CrlRef& c) {
  const ASN1_TIME* next = X509_CRL_get0_nextUpdate(c->crl());
  return !next || X509_cmp_current_time(next) > 0;
}

std::vector<std::string> DistributionPointUrls(X509* x) {
  std::vector<std::string> urls;
  auto* points = static_cast<CRL_DIST_POINTS*>(X509_get_ext_d2i(x, NID_crl_distribution_points, nullptr, nullptr));
  for (int i = 0; i < sk_DIST_POINT_num(points); ++i) {
    DIST_POINT* dp = sk_DIST_POINT_value(points, i);
    if (!dp->distpoint || dp->distpoint->type != 0) continue;
    GENERAL_NAMES* names = dp->distpoint->name.fullname;
    for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
      GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, j);
      if (gn->type != GEN_URI) continue;
      std::string url(reinterpret_cast<const char*>(ASN1_STRING_get0_data(gn->d.uniformResourceIdentifier)),
                      static_cast<size_t>(ASN1_STRING_length(gn->d.uniformResourceIdentifier)));
      std::string scheme = AsciiLower(url.substr(0, url.find(':')));
      if (scheme == "http" || scheme == "https" || scheme == "ldap" || scheme == "ldaps") urls.push_back(url);
    }
  }
  CRL_DIST_POINTS_free(points);
  return urls;
}

// The revocation list of a certificate from its distribution points; null when none could be had.
CrlRef FetchCrl(const CertData& cert, long timeoutSeconds) {
  for (const std::string& url : DistributionPointUrls(cert.x509())) {
    {
      std::lock_guard<std::mutex> lock(g_fetchedMutex);
      auto it = Fetched().find(url);
      if (it != Fetched().end() && Current(it->second)) return it->second;
    }
    std::string body;
    if (AsciiLower(url.substr(0, 4)) == "ldap") {
      body = kx::ldap::FetchCrl(url, timeoutSeconds > 0 ? timeoutSeconds : 15);
    } else {
      kx::HttpRequest options;
      long ms = (timeoutSeconds > 0 ? timeoutSeconds : 15) * 1000;
      options.timeoutMs = ms;
      options.connectTimeoutMs = ms;
      options.maxResponseBytes = 16u << 20;
      kx::HttpResponse r = kx::HttpGet(url, options);
      if (r.Ok()) body = std::move(r.body);
    }
    CrlRef crl = CrlData::Parse(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    if (!crl) continue;
    // Kept where downloaded lists are kept, the user's "My" store: later checks, offline ones too, and the
    // policy's look for its authorities' lists in the stores find it there.
    std::shared_ptr<CertStore> my;
    if (CertStore::Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE, my) == S_OK) my->AddCrl(crl);
    std::lock_guard<std::mutex> lock(g_fetchedMutex);
    Fetched()[url] = crl;
    return crl;
  }
  return nullptr;
}

unsigned long NameHash(const X509_NAME* name) {
  int ok = 0;
  unsigned long h = X509_NAME_hash_ex(name, LibCtx(), nullptr, &ok);
  return ok ? h : 0;
}

}  // namespace

// The anchors in one verification store and the candidates by subject name, so that a chain takes only the
// candidates its issuer names lead to: a check's cost does not grow with the number of stored certificates.
struct TrustIndex {
  StorePtr roots;
  std::multimap<unsigned long, size_t> bySubject;  // name hash -> place in intermediates
};

namespace {

std::mutex g_indexMutex;

const TrustIndex& IndexOf(const TrustSources& sources) {
  std::lock_guard<std::mutex> lock(g_indexMutex);
  if (!sources.index) {
    auto index = std::make_shared<TrustIndex>();
    index->roots.reset(X509_STORE_new());
    for (const CertRef& c : sources.roots) X509_STORE_add_cert(index->roots.get(), c->x509());
    for (size_t i = 0; i < sources.intermediates.size(); ++i)
      index->bySubject.emplace(NameHash(X509_get_subject_name(sources.intermediates[i]->x509())), i);
    ERR_clear_error();
    sources.index = index;
  }
  return *sources.index;
}

// The candidates a chain from the certificate may pass through: those named as issuer, and theirs, in store
// order.
std::vector<size_t> CandidatesFor(const CertRef& cert, const TrustSources& sources, const TrustIndex& index) {
  std::vector<size_t> found;
  std::vector<unsigned long> todo{NameHash(X509_get_issuer_name(cert->x509()))};
  std::vector<unsigned long> seen;
  std::vector<bool> taken(sources.intermediates.size(), false);
  while (!todo.empty() && seen.size() < 64) {
    unsigned long h = todo.back();
    todo.pop_back();
    if (std::find(seen.begin(), seen.end(), h) != seen.end()) continue;
    seen.push_back(h);
    auto range = index.bySubject.equal_range(h);
    for (auto it = range.first; it != range.second; ++it) {
      if (taken[it->second]) continue;
      taken[it->second] = true;
      found.push_back(it->second);
      todo.push_back(NameHash(X509_get_issuer_name(sources.intermediates[it->second]->x509())));
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

std::shared_ptr<const TrustSources> SharedUserTrustSources() {
  std::shared_ptr<void>* slot = ListingScope::Slot("kx.capi.trust-sources");
  if (slot && *slot) return std::static_pointer_cast<const TrustSources>(*slot);
  auto sources = std::make_shared<const TrustSources>(UserTrustSources());
  if (slot) *slot = std::const_pointer_cast<TrustSources>(sources);
  return sources;
}

TrustSources UserTrustSources() {
  TrustSources s;
  AddStoreSources(s, "Root", true);
  AddStoreSources(s, "CA", false);
  AddStoreSources(s, "My", false);
  AddStoreSources(s, "AddressBook", false);
  return s;
}

uint32_t CountedStatusBits(long f) {
  uint32_t bits = CAPICOM_TRUST_IS_NOT_VALID_FOR_USAGE | CAPICOM_TRUST_IS_CYCLIC | CAPICOM_TRUST_INVALID_EXTENSION |
                  CAPICOM_TRUST_INVALID_POLICY_CONSTRAINTS | kUnknownError;
  if (f & CAPICOM_CHECK_TRUSTED_ROOT) bits |= CAPICOM_TRUST_IS_UNTRUSTED_ROOT | CAPICOM_TRUST_IS_PARTIAL_CHAIN;
  if (f & CAPICOM_CHECK_TIME_VALIDITY) bits |= CAPICOM_TRUST_IS_NOT_TIME_VALID;
  if (f & CAPICOM_CHECK_SIGNATURE_VALIDITY) bits |= CAPICOM_TRUST_IS_NOT_SIGNATURE_VALID;
  if (f & (CAPICOM_CHECK_ONLINE_REVOCATION_STATUS | CAPICOM_CHECK_OFFLINE_REVOCATION_STATUS)) bits |= kRevocationBits;
  if (f & CAPICOM_CHECK_COMPLETE_CHAIN) bits |= CAPICOM_TRUST_IS_PARTIAL_CHAIN;
  if (f & CAPICOM_CHECK_NAME_CONSTRAINTS) bits |= 0xF800;
  if (f & CAPICOM_CHECK_BASIC_CONSTRAINTS) bits |= CAPICOM_TRUST_INVALID_BASIC_CONSTRAINTS;
  if (f & CAPICOM_CHECK_NESTED_VALIDITY_PERIOD) bits |= CAPICOM_TRUST_IS_NOT_TIME_NESTED;
  return bits;
}

HRESULT StatusToResult(uint32_t bits) {
  if (bits & CAPICOM_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
  if (bits & CAPICOM_TRUST_IS_NOT_TIME_NESTED) return CERT_E_VALIDITYPERIODNESTING;
  if (bits & CAPICOM_TRUST_IS_REVOKED) return CRYPT_E_REVOKED;
  if (bits & CAPICOM_TRUST_IS_NOT_SIGNATURE_VALID) return TRUST_E_CERT_SIGNATURE;
  if (bits & CAPICOM_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
  if (bits & CAPICOM_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  if (bits & CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN)
    return (bits & CAPICOM_TRUST_IS_OFFLINE_REVOCATION) ? CRYPT_E_REVOCATION_OFFLINE : CRYPT_E_NO_REVOCATION_CHECK;
  if (bits & CAPICOM_TRUST_IS_CYCLIC) return CERT_E_CHAINING;
  if (bits & CAPICOM_TRUST_INVALID_EXTENSION) return CERT_E_CRITICAL;
  if (bits & CAPICOM_TRUST_INVALID_POLICY_CONSTRAINTS) return CERT_E_INVALID_POLICY;
  if (bits & CAPICOM_TRUST_INVALID_BASIC_CONSTRAINTS) return TRUST_E_BASIC_CONSTRAINTS;
  if (bits & 0xF800) return CERT_E_INVALID_NAME;
  if (bits & CAPICOM_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
  if (bits) return CAPICOM_E_UNKNOWN;
  return S_OK;
}

std::string EkuNameToOid(long name) {
  switch (name) {
    case CAPICOM_EKU_SERVER_AUTH: return "1.3.6.1.5.5.7.3.1";
    case CAPICOM_EKU_CLIENT_AUTH: return "1.3.6.1.5.5.7.3.2";
    case CAPICOM_EKU_CODE_SIGNING: return "1.3.6.1.5.5.7.3.3";
    case CAPICOM_EKU_EMAIL_PROTECTION: return "1.3.6.1.5.5.7.3.4";
    case CAPICOM_EKU_SMARTCARD_LOGON: return "1.3.6.1.4.1.311.20.2.2";
    case CAPICOM_EKU_ENCRYPTING_FILE_SYSTEM: return "1.3.6.1.4.1.311.10.3.4";
    default: return std::string();
  }
}

namespace {

ChainResult BuildOver(const CertRef& cert, const ChainParams& params, const TrustSources& sources,
                      const std::vector<CertRef>& extra) {
  ChainResult r = VerifyOnce(cert, params, sources, extra, {});
  if (!(params.checkFlags & CAPICOM_CHECK_ONLINE_REVOCATION_STATUS) || r.certs.empty()) return r;
  // Online: fetch the lists that were missing or out of date, then judge again.
  std::vector<CrlRef> fetched;
  for (size_t i = 0; i < r.certs.size(); ++i) {
    if (!(r.status[i] & CAPICOM_TRUST_IS_OFFLINE_REVOCATION)) continue;
    if (CrlRef crl = FetchCrl(*r.certs[i], params.urlRetrievalTimeout)) fetched.push_back(crl);
  }
  return fetched.empty() ? r : VerifyOnce(cert, params, sources, extra, fetched);
}

}  // namespace

ChainResult BuildChain(const CertRef& cert, const ChainParams& params, const std::vector<CertRef>& extra) {
  return BuildOver(cert, params, *SharedUserTrustSources(), extra);
}

ChainResult BuildChain(const CertRef& cert, const ChainParams& params, const TrustSources& sources) {
  return BuildOver(cert, params, sources, {});
}

namespace {

ChainResult VerifyOnce(const CertRef& cert, const ChainParams& params, const TrustSources& sources,
                       const std::vector<CertRef>& extra, const std::vector<CrlRef>& extraCrls) {
  ChainResult r;
  if (!cert) return r;
  const TrustIndex& index = IndexOf(sources);
  X509_STORE* store = index.roots.get();
  X509StackPtr untrusted(sk_X509_new_null());
  for (size_t i : CandidatesFor(cert, sources, index)) sk_X509_push(untrusted.get(), X509_dup(sources.intermediates[i]->x509()));
  for (const CertRef& c : extra) sk_X509_push(untrusted.get(), X509_dup(c->x509()));
  CrlStackPtr crls(sk_X509_CRL_new_null());
  for (const std::vector<CrlRef>* list : {&sources.crls, &extraCrls}) {
    for (const CrlRef& c : *list) {
      X509_CRL_up_ref(c->crl());
      sk_X509_CRL_push(crls.get(), c->crl());
    }
  }

  StoreCtxPtr ctx(X509_STORE_CTX_new_ex(LibCtx(), nullptr));
  std::vector<Recorded> recorded;
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store, cert->x509(), untrusted.get()) != 1) {
    ERR_clear_error();
    r.certs.push_back(cert);
    r.status.push_back(kUnknownError);
    r.errorText.push_back("chain building failed");
    r.chainStatus = kUnknownError;
    r.error = CAPICOM_E_INTERNAL;
    return r;
  }
  X509_STORE_CTX_set_app_data(ctx.get(), &recorded);
  X509_STORE_CTX_set_verify_cb(ctx.get(), VerifyCallback);
  X509_VERIFY_PARAM* vp = X509_STORE_CTX_get0_param(ctx.get());
  // Old certificates signed with MD5 or SHA-1, or with short keys, are judged, not refused outright.
  X509_VERIFY_PARAM_set_auth_level(vp, 0);
  X509_VERIFY_PARAM_set_time(vp, params.verificationTime > 0 ? OleDateToTime(params.verificationTime) : time(nullptr));
  unsigned long flags = X509_V_FLAG_CHECK_SS_SIGNATURE;
  bool revocation = (params.checkFlags & (CAPICOM_CHECK_ONLINE_REVOCATION_STATUS | CAPICOM_CHECK_OFFLINE_REVOCATION_STATUS)) != 0;
  if (revocation) {
    flags |= X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL;
    X509_STORE_CTX_set0_crls(ctx.get(), crls.get());
  }
  X509_VERIFY_PARAM_set_flags(vp, flags);
  X509_verify_cert(ctx.get());
  ERR_clear_error();

  X509StackPtr chain(X509_STORE_CTX_get1_chain(ctx.get()));
  for (int i = 0; i < sk_X509_num(chain.get()); ++i) {
    CertRef c = i == 0 ? cert : CertData::FromX509(sk_X509_value(chain.get(), i));
    if (c) r.certs.push_back(c);
  }
  if (r.certs.empty()) r.certs.push_back(cert);
  size_t n = r.certs.size();
  r.status.assign(n, 0);
  r.errorText.assign(n, std::string());

  bool topIsRoot = r.certs.back()->isSelfIssued();
  for (const Recorded& rec : recorded) {
    size_t d = rec.depth < 0 ? 0 : std::min(static_cast<size_t>(rec.depth), n - 1);
    // A self-signed certificate standing alone is trusted (or not) for itself: its key usage need not allow
    // signing certificates, as the key usage of one that issues others must.
    if (rec.error == X509_V_ERR_KEYUSAGE_NO_CERTSIGN && n == 1 && topIsRoot) continue;
    uint32_t bits = ErrorBits(rec.error);
    // A self-signed root is not checked for revocation.
    if ((bits & kRevocationBits) && bits != CAPICOM_TRUST_IS_REVOKED && d == n - 1 && topIsRoot) continue;
    r.status[d] |= bits;
    if (r.errorText[d].empty()) r.errorText[d] = X509_verify_cert_error_string(rec.error);
  }
  // Validity periods must nest inside the issuer's.
  for (size_t i = 0; i + 1 < n; ++i) {
    const CertData& child = *r.certs[i];
    const CertData& issuer = *r.certs[i + 1];
    if (child.notBefore() < issuer.notBefore() || child.notAfter() > issuer.notAfter())
      r.status[i] |= CAPICOM_TRUST_IS_NOT_TIME_NESTED;
  }
  if (!params.usageOid.empty()) {
    for (size_t i = 0; i < n; ++i)
      if (!AllowsUsage(*r.certs[i], params.usageOid)) r.status[i] |= CAPICOM_TRUST_IS_NOT_VALID_FOR_USAGE;
  }
  uint32_t counted = CountedStatusBits(params.checkFlags);
  uint32_t all = 0;
  for (uint32_t s : r.status) all |= s;
  r.valid = (all & counted) == 0;
  r.error = StatusToResult(all & counted);
  r.chainStatus = all & ~kUnknownError;
  for (uint32_t& s : r.status) s &= ~kUnknownError;
  return r;
}

}  // namespace

}  // namespace kx::capi
