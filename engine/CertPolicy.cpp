#include "engine/CertPolicy.h"

#include <string>

#include "core/SafeArray.h"
#include "core/SettingsStore.h"
#include "core/Win32File.h"
#include "engine/CapicomCertificates.h"
#include "engine/CapicomChain.h"
#include "engine/CapicomExtensions.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomSettings.h"
#include "engine/CapicomStore.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/cryptoapi/cryptoapi.h"
#include "platform/ldap/ldap.h"
#include "platform/services/addres/addres.h"
#include "platform/win32/errors.h"
#include "platform/win32/registry.h"

using namespace kx::engine;

namespace {

constexpr const char* kOfficeTolvexKey = "Software\\Kesmora\\OfficeTolvex";
constexpr const char* kTrustPointFile = "JITC_TrustPoints.p7b";
constexpr const char* kPolicyConstraintsOid = "2.5.29.36";

CString Text(UINT id) { return kx::LoadAddResString(id); }

// Two texts of the module joined with one blank.
CString Text(UINT first, UINT second) { return Text(first) + " " + Text(second); }

void Put(CBstrString& message, const CString& text) { message = CBstrString(static_cast<const char*>(text)); }

// The strict trust policy's switch, read anew at every check.
DWORD StrictPolicy() {
  CSettingsStore store(HKEY_CURRENT_USER, kOfficeTolvexKey);
  DWORD value = 0;
  store.ReadInt("Config", "DoD_JICT", &value, 0);
  return value;
}

LONG CheckFlagsFor(const CCertificateManagerSettings& s) {
  LONG flags = 0;
  if (s.ONLINE_CRL_VERIFY) flags = CAPICOM_CHECK_ONLINE_ALL;
  else if (s.OFFLINE_CRL_VERIFY) flags |= CAPICOM_CHECK_OFFLINE_REVOCATION_STATUS;
  if (s.SIGNATURE_VERIFY) flags |= CAPICOM_CHECK_SIGNATURE_VALIDITY;
  if (s.TIME_VERIFY) flags |= CAPICOM_CHECK_TIME_VALIDITY;
  if (s.TRUSTED_ROOT_VERIFY) flags |= CAPICOM_CHECK_TRUSTED_ROOT;
  return flags | CAPICOM_CHECK_BASIC_CONSTRAINTS | CAPICOM_CHECK_NAME_CONSTRAINTS | CAPICOM_CHECK_COMPLETE_CHAIN |
         CAPICOM_CHECK_NESTED_VALIDITY_PERIOD;
}

// The engine's own Build call, whose result code the policy keeps.
HRESULT BuildChain(const CCapicomChain& chain, const CCapicomCertificate& certificate) {
  IChain2* p = chain.GetInterfacePtr();
  if (!p) return E_POINTER;
  VARIANT_BOOL valid = VARIANT_FALSE;
  return p->Build(certificate.GetInterfacePtr(), &valid);
}

// The engine leaves the first trust error of a status check as the thread's last error. Such a verdict is the
// check's answer, told by the chain's status bits; only a code of another kind means the check itself failed.
HRESULT CheckFailure(DWORD lastError) {
  auto code = static_cast<uint32_t>(lastError);
  bool verdict = (code & 0xFFFF0000u) == 0x800B0000u || (code & 0xFFFFF000u) == 0x80096000u ||
                 code == 0x80092010u || code == 0x80092012u || code == 0x80092013u;
  return verdict ? S_OK : static_cast<HRESULT>(code);
}

// The first element with a non-zero status, counting from 1; *position is that element, or the count.
LONG ScanStatus(const CCapicomChain& chain, LONG* position) {
  LONG n = chain.GetCertificates().GetCount();
  LONG status = 0;
  LONG i = 1;
  for (; i <= n; ++i) {
    status = chain.GetStatus(i);
    if (status != 0) break;
  }
  if (position) *position = i <= n ? i : n;
  return status;
}

struct StatusText {
  LONG bit;
  UINT first;
  UINT second;  // 0: one text
};
// In the order the first set bit is looked for.
constexpr StatusText kStatusTexts[] = {
    {CAPICOM_TRUST_IS_NOT_TIME_VALID, 6101, 6102},
    {CAPICOM_TRUST_IS_NOT_TIME_NESTED, 6103, 0},
    {CAPICOM_TRUST_IS_REVOKED, 6104, 0},
    {CAPICOM_TRUST_IS_NOT_SIGNATURE_VALID, 6105, 0},
    {CAPICOM_TRUST_IS_NOT_VALID_FOR_USAGE, 6106, 0},
    {CAPICOM_TRUST_IS_UNTRUSTED_ROOT, 6107, 0},
    {CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN, 6108, 0},
    {CAPICOM_TRUST_IS_CYCLIC, 6110, 0},
    {CAPICOM_TRUST_INVALID_EXTENSION, 6111, 0},
    {CAPICOM_TRUST_INVALID_POLICY_CONSTRAINTS, 6112, 0},
    {CAPICOM_TRUST_INVALID_BASIC_CONSTRAINTS, 6113, 0},
    {CAPICOM_TRUST_INVALID_NAME_CONSTRAINTS, 6114, 0},
    {CAPICOM_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT, 6115, 0},
    {CAPICOM_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT, 6116, 0},
    {CAPICOM_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT, 6117, 0},
    {CAPICOM_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT, 6118, 0},
    {CAPICOM_TRUST_IS_OFFLINE_REVOCATION, 6119, 6120},
    {CAPICOM_TRUST_NO_ISSUANCE_CHAIN_POLICY, 6121, 0},
    {CAPICOM_TRUST_IS_PARTIAL_CHAIN, 6122, 0},
    {CAPICOM_TRUST_CTL_IS_NOT_TIME_VALID, 6123, 0},
    {CAPICOM_TRUST_CTL_IS_NOT_SIGNATURE_VALID, 6124, 0},
    {CAPICOM_TRUST_CTL_IS_NOT_VALID_FOR_USAGE, 6125, 0},
};

bool IsAuthority(const CCapicomCertificate& certificate) {
  CCapicomBasicConstraints bc = certificate.BasicConstraints();
  return bc.GetIsPresent() && bc.GetIsCertificateAuthority();
}

// The text for a failed check: the first listed status bit, else the engine's own words for the chain.
CString FailureText(LONG status, LONG position, const CCapicomChain& chainB, const CCapicomCertificate& certificate) {
  for (const StatusText& t : kStatusTexts) {
    if (!(status & t.bit)) continue;
    if (t.bit == CAPICOM_TRUST_REVOCATION_STATUS_UNKNOWN) {
      CCapicomCertificates certs = chainB.GetCertificates();
      LONG n = certs.GetCount();
      bool authority = n >= 3 && IsAuthority(position > 0 && position <= n ? certs.GetItem(position) : certificate);
      return Text(authority ? 6108 : 6109);
    }
    return t.second ? Text(t.first, t.second) : Text(t.first);
  }
  if (IChain2* p = chainB.GetInterfacePtr()) {
    BSTR info = nullptr;
    HRESULT hr = p->ExtendedErrorInfo(1, &info);
    CBstrString text(info, false);  // freed in either case
    if (SUCCEEDED(hr) && !text.IsEmpty()) return CString(text.GetAnsi());
  }
  return Text(6126);
}

// Text compared as the names and e-mail addresses are: ASCII letters without regard to case (UTF-8 bytes of
// other characters as they are).
bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string WithoutBlanks(const char* text) {
  std::string out;
  for (const char* p = text ? text : ""; *p; ++p)
    if (*p != ' ' && *p != '\n' && *p != '\r') out += *p;
  return out;
}

// The requireExplicitPolicy field of an encoded PolicyConstraints value; false when the field is absent or the
// bytes are not such a value. A number too large for 32 bits reads as the largest one.
bool RequireExplicitPolicy(const BYTE* p, size_t n, unsigned long& value) {
  auto element = [&](size_t& at, BYTE& tag, size_t& length) {
    if (at + 2 > n) return false;
    tag = p[at++];
    BYTE first = p[at++];
    if (first < 0x80) {
      length = first;
    } else {
      size_t bytes = first & 0x7F;
      if (bytes == 0 || bytes > 4 || at + bytes > n) return false;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = (length << 8) | p[at++];
    }
    return length <= n - at;
  };
  size_t at = 0;
  BYTE tag = 0;
  size_t length = 0;
  if (!element(at, tag, length) || tag != 0x30) return false;
  size_t end = at + length;
  while (at < end) {
    if (!element(at, tag, length)) return false;
    if (tag == 0x80) {
      value = 0;
      for (size_t i = 0; i < length; ++i) value = value > 0xFFFFFFu ? 0xFFFFFFFFu : (value << 8) | p[at + i];
      return length > 0;
    }
    at += length;
  }
  return false;
}

// The certificate's extension values with a given identifier: encoded bytes and one-line text.
struct ExtensionValue {
  CByteBuffer bytes;
  CString text;
};

std::vector<ExtensionValue> ExtensionValues(const CCapicomCertificate& certificate, const char* oid) {
  std::vector<ExtensionValue> values;
  CCapicomExtensions extensions = certificate.Extensions();
  IExtensions* list = extensions.GetInterfacePtr();
  if (!list) return values;
  CCapicomUtilities utilities;
  Rethrow([&] {
    LONG count = 0;
    Check(list->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
      _variant_t index(static_cast<LONG>(i));
      _variant_t item;
      Check(list->get_Item(index, &item));
      _com_ptr_t<IExtension> extension = ItemInterface<IExtension>(item);
      if (!extension) continue;
      IOID* id = nullptr;
      Check(extension->get_OID(&id));
      _com_ptr_t<IOID> ownedId(id, false);
      BSTR dotted = nullptr;
      Check(ownedId->get_Value(&dotted));
      CBstrString value(dotted, false);
      if (value.CompareNoCase(oid) != 0) continue;

      IEncodedData* data = nullptr;
      Check(extension->get_EncodedData(&data));
      CCapicomEncodedData encoded;
      encoded.SetInterface(data);
      data->Release();
      ExtensionValue v;
      BSTR binary = nullptr;
      HRESULT hr = encoded.GetInterfacePtr()->get_Value(CAPICOM_ENCODE_BINARY, &binary);
      _bstr_t ownedBinary(binary, false);
      Check(hr);
      _variant_t array;
      Check(utilities.GetInterfacePtr()->BinaryStringToByteArray(binary, &array));
      v.bytes = CSafeArray(static_cast<const VARIANT&>(array)).GetByteBuffer();
      v.text = encoded.Format(VARIANT_FALSE).GetAnsi();
      values.push_back(std::move(v));
    }
  });
  return values;
}

bool EmailMatches(const CCapicomCertificate& certificate, const char* address) {
  CBstrString email = certificate.GetInfo(CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME);
  return !email.IsEmpty() && EqualNoCase(email.GetAnsi(), address ? address : "");
}

// The first certificate of an opened store whose e-mail name is the address (and that equals the reference
// when one is given).
bool FindInStore(CCapicomStore& store, const char* address, const CCapicomCertificate* reference,
                 CCapicomCertificate& out) {
  CCapicomCertificates certs = store.GetCertificates();
  LONG n = certs.GetCount();
  for (LONG i = 1; i <= n; ++i) {
    CCapicomCertificate c = certs.GetItem(i);
    if (EmailMatches(c, address) && (!reference || c.IsEqual(*reference))) {
      out = c;
      return true;
    }
  }
  return false;
}

// A value inside a directory search filter, with the filter's special characters escaped.
std::string FilterValue(const char* text) { return kx::ldap::EscapeFilterValue(text ? text : ""); }

// Applies check (certificate, position, count) to the chain's certificates but its top, from the certificate
// checked upwards or from the top down; the first false ends the walk.
template <class F>
bool WalkChain(const CCapicomChain& chain, bool fromTop, F check) {
  CCapicomCertificates certs = chain.GetCertificates();
  LONG n = certs.GetCount();
  for (LONG step = 0; step < n; ++step) {
    LONG i = fromTop ? n - step : step + 1;
    if (i != n && !check(certs.GetItem(i), i, n)) return false;
  }
  return true;
}

// Store handle of the current user's store, read-only; null when it cannot be opened.
HCERTSTORE OpenUserStore(const char* name) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                       CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, name);
}

}  // namespace

void CCertPolicy::ValidateCertificate(const CCapicomCertificate& certificate, CBstrString& message, bool& ok) const {
  ok = true;
  CCertificateManagerSettings settings;
  settings.Load();
  CCapicomCertificateStatus status;
  CCapicomChain chainA;
  CCapicomChain chainB;
  DWORD strict = StrictPolicy();
  LONG flags = CheckFlagsFor(settings);
  // Chain B is built under the status's flags: start it from the engine's own, not from whatever an earlier
  // judgement of this certificate object left, so every judgement of it gives the same texts.
  try {
    certificate.IsValid().PutCheckFlag(CAPICOM_DEFAULT_CHECK_FLAG);
  } catch (const _com_error&) {
    // A certificate the engine cannot read: the status check below gives the verdict and its text.
  }
  HRESULT hr = BuildChain(chainB, certificate);

  if (strict) {
    if (hr != S_OK) {
      ok = false;
      Put(message, Text(6100));
      return;
    }
    ok = CheckTopTrustPoint(chainB, message) && CheckChainNames(chainB, message) &&
         CheckChainKeyUsage(chainB, message) && CheckChainPolicyConstraints(chainB, message) &&
         CheckChainBasicConstraints(chainB, message) && CheckChainPathLengths(chainB, message);
    if (!ok) return;
  }

  try {
    status = certificate.IsValid();
    status.PutCheckFlag(flags);
    bool result = status.GetResult();
    if (!result) hr = CheckFailure(GetLastError());

    LONG position = 0;
    LONG s = ScanStatus(chainB, nullptr);
    // The status check under the flags just set is the verdict. Chain B was built under the flags an earlier
    // judgement left on the certificate's status (or none): it gives texts, never the verdict.
    if (result) {
      Put(message, Text(6129));
      return;
    }
    if (s == 0) {
      ok = CheckChainCrls(chainB, message);
      if (!ok) return;
      // Built now, the chain follows the check flags just set.
      if (BuildChain(chainA, certificate) == S_OK) s = ScanStatus(chainA, &position);
    }
    ok = false;
    if (hr != S_OK) Put(message, Text(6127, 6128));
    else Put(message, FailureText(s, position, chainB, certificate));
  } catch (const _com_error&) {
    // A check the engine could not finish accepts nothing.
    ok = false;
    Put(message, Text(6129, 6130));
  }
}

void CCertPolicy::ValidateCertificate(const CCapicomCertificate& certificate, CBstrString& message) const {
  bool ok = false;
  ValidateCertificate(certificate, message, ok);
}

bool CCertPolicy::IsTrustPoint(const CCapicomCertificate& certificate, CBstrString& message) const {
  Put(message, Text(6131));
  if (!StrictPolicy()) return true;
  CSettingsStore settings(HKEY_CURRENT_USER, kOfficeTolvexKey);
  std::string folder;
  settings.ReadString("OneClickManager", "OneClickFolder", folder, "");
  if (folder.empty()) {
    Put(message, Text(6132));
    return false;
  }
  std::string path = folder + "/" + kTrustPointFile;
  CWin32File file(path.c_str());
  if (!file.IsOpen() || file.ReadAll(0) != S_OK) return false;

  CCapicomStore store;
  if (store.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary", CAPICOM_STORE_OPEN_READ_WRITE) != S_OK) return false;
  try {
    if (FAILED(store.ImportFromBuffer(file.m_buffer))) return false;
  } catch (const _com_error&) {
    return false;
  }
  CCapicomCertificates points = store.GetCertificates();
  LONG n = points.GetCount();
  for (LONG i = 1; i <= n; ++i) {
    if (certificate.IsEqual(points.GetItem(i))) {
      Put(message, Text(6133, 6129));
      return true;
    }
  }
  return false;
}

bool CCertPolicy::CheckTopTrustPoint(const CCapicomChain& chain, CBstrString& message) const {
  CCapicomCertificates certs = chain.GetCertificates();
  LONG n = certs.GetCount();
  if (n == 0) return false;
  return IsTrustPoint(certs.GetItem(n), message);
}

bool CCertPolicy::CheckChainNames(const CCapicomChain& chain, CBstrString& message) const {
  Put(message, Text(6134));
  if (!StrictPolicy()) return true;
  CCapicomCertificates certs = chain.GetCertificates();
  LONG n = certs.GetCount();
  if (n == 0) return false;
  for (LONG i = 1; i < n; ++i) {
    std::string issuer = WithoutBlanks(certs.GetItem(i).GetIssuerName().GetAnsi());
    std::string subject = WithoutBlanks(certs.GetItem(i + 1).GetSubjectName().GetAnsi());
    if (!EqualNoCase(issuer, subject)) return false;
  }
  Put(message, Text(6135));
  return true;
}

bool CCertPolicy::CheckCaKeyUsage(const CCapicomCertificate& certificate, CBstrString& message) const {
  Put(message, Text(6136));
  if (!StrictPolicy()) return true;
  if (!IsAuthority(certificate)) return false;
  try {
    CCapicomKeyUsage usage = certificate.KeyUsage();
    if (!usage.GetIsPresent()) return false;
    if (!usage.GetIsKeyCertSignEnabled()) {
      Put(message, Text(6137));
      return false;
    }
    return usage.GetIsCRLSignEnabled();
  } catch (const _com_error&) {
    return false;
  }
}

bool CCertPolicy::CheckChainKeyUsage(const CCapicomChain& chain, CBstrString& message) const {
  return WalkChain(chain, false, [&](const CCapicomCertificate& c, LONG, LONG) {
    return !IsAuthority(c) || CheckCaKeyUsage(c, message);
  });
}

bool CCertPolicy::CheckChainPolicy(const CCapicomCertificate& certificate, LONG depth, CBstrString& message) const {
  Put(message, "Certificate in the chain has policy processing error");
  if (!StrictPolicy()) return true;
  for (const ExtensionValue& v : ExtensionValues(certificate, kPolicyConstraintsOid)) {
    unsigned long required = 0;
    if (RequireExplicitPolicy(v.bytes.GetData(), v.bytes.GetLength(), required) && required != 0 &&
        required < static_cast<unsigned long>(depth > 0 ? depth : 0)) {
      CString text;
      text.FormatMessage(static_cast<const char*>(Text(5124)), static_cast<const char*>(v.text));
      Put(message, text);
      return false;
    }
  }
  return true;
}

bool CCertPolicy::CheckChainPolicyConstraints(const CCapicomChain& chain, CBstrString& message) const {
  return WalkChain(chain, false, [&](const CCapicomCertificate& c, LONG, LONG n) {
    return !IsAuthority(c) || CheckChainPolicy(c, n - 1, message);
  });
}

bool CCertPolicy::CheckBasicConstraints(const CCapicomCertificate& certificate, CBstrString& message) const {
  Put(message, Text(6171, 6172));
  if (!StrictPolicy()) return true;
  return IsAuthority(certificate);
}

bool CCertPolicy::CheckChainBasicConstraints(const CCapicomChain& chain, CBstrString& message) const {
  return WalkChain(chain, false, [&](const CCapicomCertificate& c, LONG i, LONG) {
    return (i == 1 && !c.BasicConstraints().GetIsPresent()) || CheckBasicConstraints(c, message);
  });
}

bool CCertPolicy::CheckPathLength(const CCapicomCertificate& certificate, LONG depth, LONG position,
                                  const CCapicomChain&, CBstrString& message) const {
  if (position == 1) return true;
  Put(message, Text(6171) + " " + Text(6173) + " " + Text(6174));
  if (!StrictPolicy()) return true;
  CCapicomBasicConstraints bc = certificate.BasicConstraints();
  if (!bc.GetIsPresent() || !bc.GetIsPathLenConstraintPresent()) return true;
  LONG constraint = bc.GetPathLenConstraint();
  if (constraint >= depth - 1) return true;
  // The certificate authorities between this one and the checked certificate.
  return position - 2 <= constraint;
}

bool CCertPolicy::CheckChainPathLengths(const CCapicomChain& chain, CBstrString& message) const {
  return WalkChain(chain, true, [&](const CCapicomCertificate& c, LONG i, LONG n) {
    CCapicomBasicConstraints bc = c.BasicConstraints();
    return !bc.GetIsPresent() || !bc.GetIsPathLenConstraintPresent() || CheckPathLength(c, n - 1, i, chain, message);
  });
}

bool CCertPolicy::CheckRootCrl(const CCapicomCertificate& certificate, LONG depth, LONG position, const CCapicomChain&,
                               CBstrString& message) const {
  // The lists the options page downloads are kept in "My", so they count as well.
  HCERTSTORE stores = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  for (const char* name : {position == depth + 1 ? "Root" : "CA", "My"}) {
    if (HCERTSTORE s = OpenUserStore(name)) {
      CertAddStoreToCollection(stores, s, 0, 0);
      CertCloseStore(s, 0);
    }
  }
  PCCERT_CONTEXT issuer = nullptr;
  try {
    CByteBuffer der = certificate.ExportToBuffer(CAPICOM_ENCODE_BINARY);
    if (der.GetLength()) issuer = CertCreateCertificateContext(X509_ASN_ENCODING, der.GetData(), der.GetLength());
  } catch (const _com_error&) {
    // No context: the search finds nothing.
  }

  DWORD flags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;
  PCCRL_CONTEXT crl = nullptr;
  bool first = true;
  bool result = true;
  for (;;) {
    crl = stores && issuer ? CertGetCRLFromStore(stores, issuer, crl, &flags) : nullptr;
    if (!crl) {
      if (first) {
        Put(message, Text(6175, 6176));
        result = false;
      }
      break;
    }
    first = false;
    if (flags & CERT_STORE_SIGNATURE_FLAG) {
      Put(message, Text(6177));
      result = false;
      break;
    }
    if (flags & CERT_STORE_TIME_VALIDITY_FLAG) {
      Put(message, Text(6178));
      result = false;
      break;
    }
  }
  CertFreeCRLContext(crl);
  CertFreeCertificateContext(issuer);
  CertCloseStore(stores, 0);
  return result;
}

bool CCertPolicy::CheckChainCrls(const CCapicomChain& chain, CBstrString& message) const {
  return WalkChain(chain, true, [&](const CCapicomCertificate& c, LONG i, LONG n) {
    return !IsAuthority(c) || CheckRootCrl(c, n - 1, i, chain, message);
  });
}

bool CCertPolicy::FindCertificateByMail(const char* address, bool personal, CCapicomCertificate& certificate,
                                        bool directory, const CCapicomCertificate* reference) const {
  try {
    if (personal) {
      CCapicomStore store;
      store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY);
      return FindInStore(store, address, reference, certificate);
    }
    if (directory) {
      try {
        CCertificateManagerSettings settings;
        settings.Load();
        CCapicomSettings engine;
        engine.PutActiveDirectorySearchLocation(settings.SEARCH_GLOBAL_CATALOG ? CAPICOM_SEARCH_GLOBAL_CATALOG
                                                                               : CAPICOM_SEARCH_DEFAULT_DOMAIN);
        CCapicomStore store;
        std::string filter = "mail=" + FilterValue(address);
        store.Open(CAPICOM_ACTIVE_DIRECTORY_USER_STORE, filter.c_str(), CAPICOM_STORE_OPEN_READ_ONLY);
        if (FindInStore(store, address, nullptr, certificate)) return true;
      } catch (const _com_error&) {
        // The address book is searched next.
      }
    }
    CCapicomStore book;
    book.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY);
    return FindInStore(book, address, nullptr, certificate);
  } catch (const _com_error&) {
    return false;
  }
}

bool CCertPolicy::MailMatches(const CCapicomCertificate& certificate, const char* address) {
  return EmailMatches(certificate, address);
}

bool CCertPolicy::GetTrustErrorText(HRESULT code, CString& text) const {
  text.Empty();
  auto value = static_cast<uint32_t>(code);
  if (value >= 0x800B0001u && value <= 0x800B000Bu) {
    text = Text(6138 + (value - 0x800B0001u));
  } else if (value >= 0x800B0100u && value <= 0x800B0113u) {
    text = Text(6149 + (value - 0x800B0100u));
  } else if (value == 0x800B0114u) {
    text = Text(6169, 6170);
  } else {
    return false;
  }
  return true;
}
