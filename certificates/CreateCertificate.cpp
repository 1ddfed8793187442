#include "certificates/CreateCertificate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/heap.h"
#include "platform/win32/textconv.h"
#include "platform/win32/wintime.h"

namespace {

using Bytes = std::vector<BYTE>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const char kDefaultProvider[] = "Microsoft Base DSS and Diffie-Hellman Cryptographic Provider";
const char kTemporaryContainer[] = "__Kesmora001__";

const char* const kPurposeOids[] = {"1.3.6.1.5.5.7.3.1", "1.3.6.1.5.5.7.3.2", "1.3.6.1.5.5.7.3.3",
                                    "1.3.6.1.5.5.7.3.4", "1.3.6.1.5.5.7.3.8"};

// Key usage bits of the first byte.
constexpr BYTE kDigitalSignature = 0x80, kNonRepudiation = 0x40, kKeyEncipherment = 0x20, kDataEncipherment = 0x10,
               kKeyAgreement = 0x08, kKeyCertSign = 0x04, kCrlSign = 0x02;

// The two-call pattern of the encoders: the size, then the bytes.
template <class F>
bool TwoCalls(Bytes& out, F call) {
  DWORD cb = 0;
  if (!call(nullptr, &cb)) return false;
  out.assign(cb, 0);
  if (!call(out.data(), &cb)) return false;
  out.resize(cb);
  return true;
}

bool Encode(LPCSTR type, const void* info, Bytes& out) {
  return TwoCalls(out, [&](BYTE* b, DWORD* cb) { return CryptEncodeObject(kEncoding, type, info, b, cb) != FALSE; });
}

// Writes a whole file anew (owner-only when it holds a key).
bool WriteNewFile(const char* path, const Bytes& data, bool ownerOnly) {
  if (!path || !*path) return false;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (ownerOnly) ::chmod(path, 0600);
  DWORD written = 0;
  bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
  CloseHandle(h);
  return ok;
}

bool DaysMatch(WORD year, WORD month, WORD* days) {
  static const WORD kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  *days = static_cast<WORD>(kDays[month - 1] + (month == 2 && leap ? 1 : 0));
  return true;
}

// Everything a run holds; released whatever the outcome.
struct Run {
  HANDLE heap = GetProcessHeap();
  HCRYPTPROV prov = 0, issuerProv = 0;
  HCRYPTKEY key = 0, exportKey = 0;
  HCRYPTHASH hash = 0;
  PCCERT_CONTEXT issuer = nullptr, stored = nullptr;
  HCERTSTORE store = nullptr;
  unsigned char* uuidText = nullptr;
  CRYPT_DATA_BLOB* issuerKeyId = nullptr;
  ~Run() {
    if (hash) CryptDestroyHash(hash);
    if (exportKey) CryptDestroyKey(exportKey);
    if (key) CryptDestroyKey(key);
    if (prov) CryptReleaseContext(prov, 0);
    if (issuerProv) CryptReleaseContext(issuerProv, 0);
    if (stored) CertFreeCertificateContext(stored);
    if (issuer) CertFreeCertificateContext(issuer);
    if (store) CertCloseStore(store, 0);
    if (uuidText) RpcStringFreeA(&uuidText);
    if (issuerKeyId) HeapFree(heap, 0, issuerKeyId);
  }
};

}  // namespace

namespace kx::certcreate {

DWORD KeyLengthFlags(DWORD keyLength) {
  switch (keyLength) {
    case 512: return 0x02000000;
    case 1024: return 0x04000000;
    case 2048: return 0x08000000;
    case 4096: return 0x10000000;
    case 8192: return 0x20000000;
    case 16384: return 0x40000000;
    case 32768: return 0x80000000;
    default: return 0;
  }
}

SYSTEMTIME AddMonths(const SYSTEMTIME& from, unsigned months) {
  SYSTEMTIME to = from;
  unsigned total = (from.wMonth ? from.wMonth - 1u : 0u) + months;
  to.wYear = static_cast<WORD>(from.wYear + total / 12);
  to.wMonth = static_cast<WORD>(total % 12 + 1);
  WORD days = 31;
  if (DaysMatch(to.wYear, to.wMonth, &days) && to.wDay > days) to.wDay = days;
  return to;
}

}  // namespace kx::certcreate

PCCERT_CONTEXT FindIssuerCertificate(LPCSTR issuerSubject, LPCSTR storeName, DWORD location, CRYPT_DATA_BLOB** keyId,
                                     HCRYPTPROV* prov, DWORD* keySpec) {
  if (keyId) *keyId = nullptr;
  if (prov) *prov = 0;
  if (!issuerSubject || !storeName || !keyId || !prov || !keySpec) return nullptr;
  DWORD machineFlag = location == CERT_SYSTEM_STORE_LOCAL_MACHINE ? CRYPT_MACHINE_KEYSET : 0;
  HANDLE heap = GetProcessHeap();

  std::u16string wideName = kx::Utf8ToUtf16(storeName);
  if (wideName.size() >= 20) return nullptr;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kEncoding, 0, location | CERT_STORE_READONLY_FLAG,
                                   wideName.c_str());
  if (!store) return nullptr;
  PCCERT_CONTEXT found = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_STR_A, issuerSubject, nullptr);
  bool ok = false;
  Bytes property;
  if (found && [&] {
        DWORD cb = 0;
        if (!CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cb)) return false;
        property.assign(cb, 0);
        return CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, property.data(), &cb) != FALSE;
      }()) {
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(property.data());
    auto ansi = [](LPCWSTR w) {
      size_t n = 0;
      while (w && w[n]) ++n;
      std::string s = w ? kx::Utf16ToUtf8(w, n) : std::string();
      return s.size() < 160 ? s : std::string();
    };
    std::string container = ansi(info->pwszContainerName), provider = ansi(info->pwszProvName);
    ok = !container.empty() && CryptAcquireContextA(prov, container.c_str(), provider.empty() ? nullptr : provider.c_str(),
                                                    info->dwProvType, machineFlag);
    if (ok) *keySpec = info->dwKeySpec;
  }
  if (ok) {
    // From here the certificate counts as found; its key identifier is optional.
    CERT_INFO* ci = found->pCertInfo;
    if (PCERT_EXTENSION ski = CertFindExtension(szOID_SUBJECT_KEY_IDENTIFIER, ci->cExtension, ci->rgExtension)) {
      DWORD cb = 0;
      if (CryptDecodeObject(kEncoding, szOID_SUBJECT_KEY_IDENTIFIER, ski->Value.pbData, ski->Value.cbData, 0, nullptr,
                            &cb)) {
        void* buffer = HeapAlloc(heap, 0, cb);
        if (buffer && CryptDecodeObject(kEncoding, szOID_SUBJECT_KEY_IDENTIFIER, ski->Value.pbData, ski->Value.cbData,
                                        0, buffer, &cb))
          *keyId = static_cast<CRYPT_DATA_BLOB*>(buffer);
        else if (buffer)
          HeapFree(heap, 0, buffer);
      }
    }
  }
  CertCloseStore(store, 0);
  if (!ok) {
    if (found) CertFreeCertificateContext(found);
    return nullptr;
  }
  return found;
}

BOOL CreateCertificate(LPCSTR subject, DWORD keySpec, DWORD keyLength, LPCSTR signatureAlgorithm, WORD validityMonths,
                       DWORD purposes, BOOL ca, BOOL providerGiven, LPCSTR providerName, DWORD providerType,
                       LPCSTR storeName, BOOL userStore, BOOL selfSigned, LPCSTR issuerSubject, LPCSTR issuerStore,
                       BOOL issuerInUserStore, BOOL exportMode, LPCSTR certificateFile, LPCSTR keyFile,
                       LPCSTR password) {
  Run run;
  // 1. Provider, key length, key set and locations.
  std::string provider = providerGiven && providerName ? providerName : kDefaultProvider;
  if (provider.size() >= 260 || !subject || !signatureAlgorithm) return FALSE;
  DWORD lengthFlags = kx::certcreate::KeyLengthFlags(keyLength);
  DWORD keySetFlag = userStore ? 0 : CRYPT_MACHINE_KEYSET;
  DWORD storeLocation = userStore ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE;
  DWORD issuerLocation = issuerInUserStore ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE;

  // 2. Subject.
  Bytes subjectName;
  if (!TwoCalls(subjectName, [&](BYTE* b, DWORD* cb) {
        return CertStrToNameA(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, b, cb, nullptr) != FALSE;
      }))
    return FALSE;

  // 3. Purposes, in table order.
  std::vector<LPSTR> purposeOids;
  for (DWORD i = 0; i < 5; ++i)
    if (purposes & (1u << i)) purposeOids.push_back(const_cast<LPSTR>(kPurposeOids[i]));

  // 4-5. The provider works: a temporary container gives random bytes and goes again.
  {
    std::string temporary = std::string(kTemporaryContainer) + provider;
    HCRYPTPROV probe = 0;
    if (!CryptAcquireContextA(&probe, temporary.c_str(), provider.c_str(), providerType, CRYPT_NEWKEYSET)) {
      if (GetLastError() != static_cast<DWORD>(NTE_EXISTS) ||
          !CryptAcquireContextA(&probe, temporary.c_str(), provider.c_str(), providerType, 0))
        return FALSE;
    }
    BYTE random[16];
    if (!CryptGenRandom(probe, sizeof random, random)) {
      std::fputs("Unable to create random container\n", stdout);
      CryptReleaseContext(probe, 0);
      return FALSE;
    }
    CryptReleaseContext(probe, 0);
    HCRYPTPROV gone = 0;
    CryptAcquireContextA(&gone, temporary.c_str(), provider.c_str(), providerType, CRYPT_DELETEKEYSET);
  }

  // 6. The container that keeps the new key, named by a new identifier.
  UUID uuid;
  if (UuidCreate(&uuid) != RPC_S_OK || UuidToStringA(&uuid, &run.uuidText) != RPC_S_OK) return FALSE;
  std::string container = reinterpret_cast<const char*>(run.uuidText);
  if (!CryptAcquireContextA(&run.prov, container.c_str(), provider.c_str(), providerType, CRYPT_NEWKEYSET | keySetFlag)) {
    if (GetLastError() != static_cast<DWORD>(NTE_EXISTS) ||
        !CryptAcquireContextA(&run.prov, nullptr, provider.c_str(), providerType, keySetFlag))
      return FALSE;
    container = "default";  // the provider's default container holds the key now
  }

  // 7. The key pair.
  if (!CryptGenKey(run.prov, keySpec, lengthFlags | (exportMode ? CRYPT_EXPORTABLE : 0), &run.key)) return FALSE;

  // 8. Version, serial number, algorithm, validity.
  CERT_INFO info{};
  info.dwVersion = 2;
  BYTE serial[8];
  if (!CryptGenRandom(run.prov, sizeof serial, serial)) return FALSE;
  serial[7] &= 0x7F;  // little-endian: a positive number
  if (!serial[7]) serial[7] = 1;
  info.SerialNumber = {sizeof serial, serial};
  info.SignatureAlgorithm.pszObjId = const_cast<LPSTR>(signatureAlgorithm);
  SYSTEMTIME now;
  GetSystemTime(&now);
  if (!SystemTimeToFileTime(&now, &info.NotBefore)) return FALSE;
  unsigned months = validityMonths ? validityMonths : (selfSigned ? 24u : 6u);
  SYSTEMTIME end = kx::certcreate::AddMonths(now, months);
  if (!SystemTimeToFileTime(&end, &info.NotAfter)) return FALSE;
  info.Subject = {static_cast<DWORD>(subjectName.size()), subjectName.data()};

  // 9. Public key and its identifier (SHA-1 of the subjectPublicKey bits).
  Bytes publicKey;
  if (!TwoCalls(publicKey, [&](BYTE* b, DWORD* cb) {
        return CryptExportPublicKeyInfo(run.prov, keySpec, kEncoding, reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(b), cb) !=
               FALSE;
      }))
    return FALSE;
  info.SubjectPublicKeyInfo = *reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publicKey.data());
  BYTE keyId[20];
  DWORD keyIdLength = sizeof keyId;
  if (!CryptCreateHash(run.prov, CALG_SHA1, 0, 0, &run.hash) ||
      !CryptHashData(run.hash, info.SubjectPublicKeyInfo.PublicKey.pbData, info.SubjectPublicKeyInfo.PublicKey.cbData,
                     0) ||
      !CryptGetHashParam(run.hash, HP_HASHVAL, keyId, &keyIdLength, 0))
    return FALSE;
  CryptDestroyHash(run.hash);
  run.hash = 0;

  // 10. Issuer.
  DWORD issuerKeySpec = 0;
  if (selfSigned) {
    info.Issuer = info.Subject;
  } else {
    if (!issuerStore || std::strlen(issuerStore) >= 20) return FALSE;
    run.issuer = FindIssuerCertificate(issuerSubject, issuerStore, issuerLocation, &run.issuerKeyId, &run.issuerProv,
                                       &issuerKeySpec);
    if (!run.issuer) return FALSE;
    info.Issuer = run.issuer->pCertInfo->Subject;
  }

  // 11. Extensions, none critical.
  bool isCa = selfSigned || ca;
  CRYPT_DATA_BLOB skiBlob{keyIdLength, keyId};
  BYTE usage = keySpec == AT_SIGNATURE ? static_cast<BYTE>(kDigitalSignature | kNonRepudiation | kKeyCertSign | kCrlSign)
                                       : static_cast<BYTE>(kDigitalSignature | kKeyEncipherment | kDataEncipherment |
                                                           kKeyAgreement);
  // Certificate and CRL signing belong to authorities only.
  if (!isCa) usage &= static_cast<BYTE>(~(kKeyCertSign | kCrlSign));
  CRYPT_BIT_BLOB usageBlob{1, &usage, 0};
  CERT_ENHKEY_USAGE eku{static_cast<DWORD>(purposeOids.size()), purposeOids.data()};
  CERT_BASIC_CONSTRAINTS2_INFO constraints{};
  constraints.fCA = isCa;
  constraints.fPathLenConstraint = selfSigned;
  constraints.dwPathLenConstraint = selfSigned ? 1 : 0;
  CERT_AUTHORITY_KEY_ID_INFO authority{};
  bool withAuthority = true;
  if (selfSigned) {
    authority.KeyId = skiBlob;
    authority.CertIssuer = info.Subject;
    authority.CertSerialNumber = info.SerialNumber;
  } else if (run.issuerKeyId) {
    authority.KeyId = *run.issuerKeyId;
    authority.CertIssuer = run.issuer->pCertInfo->Issuer;
    authority.CertSerialNumber = run.issuer->pCertInfo->SerialNumber;
  } else {
    withAuthority = false;
  }
  Bytes skiDer, usageDer, ekuDer, constraintsDer, authorityDer;
  if (!Encode(szOID_SUBJECT_KEY_IDENTIFIER, &skiBlob, skiDer) || !Encode(X509_KEY_USAGE, &usageBlob, usageDer) ||
      (!purposeOids.empty() && !Encode(X509_ENHANCED_KEY_USAGE, &eku, ekuDer)) ||
      !Encode(X509_BASIC_CONSTRAINTS2, &constraints, constraintsDer) ||
      (withAuthority && !Encode(X509_AUTHORITY_KEY_ID, &authority, authorityDer)))
    return FALSE;
  std::vector<CERT_EXTENSION> extensions;
  auto add = [&](const char* oid, Bytes& der) {
    extensions.push_back({const_cast<LPSTR>(oid), FALSE, {static_cast<DWORD>(der.size()), der.data()}});
  };
  add(szOID_SUBJECT_KEY_IDENTIFIER, skiDer);
  add(szOID_KEY_USAGE, usageDer);
  if (!purposeOids.empty()) add(szOID_ENHANCED_KEY_USAGE, ekuDer);
  add(szOID_BASIC_CONSTRAINTS2, constraintsDer);
  if (withAuthority) add(szOID_AUTHORITY_KEY_IDENTIFIER, authorityDer);
  info.cExtension = static_cast<DWORD>(extensions.size());
  info.rgExtension = extensions.data();

  // 12. Signature: the new key, or the issuer's under the issuer certificate's own algorithm.
  HCRYPTPROV signer = selfSigned ? run.prov : run.issuerProv;
  DWORD signerSpec = selfSigned ? keySpec : issuerKeySpec;
  CRYPT_ALGORITHM_IDENTIFIER algorithm{};
  algorithm.pszObjId = selfSigned ? const_cast<LPSTR>(signatureAlgorithm) : run.issuer->pCertInfo->SignatureAlgorithm.pszObjId;
  Bytes certificate;
  if (!TwoCalls(certificate, [&](BYTE* b, DWORD* cb) {
        return CryptSignAndEncodeCertificate(signer, signerSpec, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, &info,
                                             &algorithm, nullptr, b, cb) != FALSE;
      }))
    return FALSE;

  if (exportMode) {
    // 13. The key, protected by the password, then both files, then the container goes.
    std::string secret = password ? password : "";
    Bytes keyBlob;
    if (!CryptCreateHash(run.prov, CALG_SHA1, 0, 0, &run.hash) ||
        !CryptHashData(run.hash, reinterpret_cast<const BYTE*>(secret.data()), static_cast<DWORD>(secret.size()), 0) ||
        !CryptDeriveKey(run.prov, CALG_RC4, run.hash, CRYPT_EXPORTABLE, &run.exportKey) ||
        !TwoCalls(keyBlob, [&](BYTE* b, DWORD* cb) {
          return CryptExportKey(run.key, run.exportKey, PRIVATEKEYBLOB, 0, b, cb) != FALSE;
        }))
      return FALSE;
    bool written = WriteNewFile(certificateFile, certificate, false) && WriteNewFile(keyFile, keyBlob, true);
    std::fill(keyBlob.begin(), keyBlob.end(), 0);
    if (!written) {
      // No half of the pair stays behind.
      if (certificateFile) ::unlink(certificateFile);
      if (keyFile) ::unlink(keyFile);
      return FALSE;
    }
    HCRYPTPROV gone = 0;
    return CryptAcquireContextA(&gone, container.c_str(), provider.c_str(), providerType,
                                CRYPT_DELETEKEYSET | keySetFlag);
  }

  // 14. Store mode: the store with the key link. No copy goes to the host's current folder: nothing is written
  // outside the state root and the folders the user chose.
  if (!storeName || std::strlen(storeName) >= 20) return FALSE;
  std::u16string wideStore = kx::Utf8ToUtf16(storeName);
  run.store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kEncoding, 0, storeLocation, wideStore.c_str());
  if (!run.store ||
      !CertAddEncodedCertificateToStore(run.store, kEncoding, certificate.data(), static_cast<DWORD>(certificate.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, &run.stored))
    return FALSE;
  std::u16string wideContainer = kx::Utf8ToUtf16(container);
  std::u16string wideProvider = kx::Utf8ToUtf16(provider);
  CRYPT_KEY_PROV_INFO link{};
  link.pwszContainerName = const_cast<LPWSTR>(wideContainer.c_str());
  link.pwszProvName = const_cast<LPWSTR>(wideProvider.c_str());
  link.dwProvType = providerType;
  link.dwFlags = keySetFlag;
  link.dwKeySpec = keySpec;
  return CertSetCertificateContextProperty(run.stored, CERT_KEY_PROV_INFO_PROP_ID, 0, &link);
}
