// The platform's certificate store and context functions, over the engine's on-disk stores (the store model of
// platform/capicom/core, which this folder builds into the platform library for both).
//
// Handles: a store handle (HCERTSTORE) is reference counted: CertOpenStore and CertDuplicateStore give one
// reference, CertCloseStore takes one away; every context handed out holds one more until it is freed.
// Certificate and CRL contexts are reference counted the same way. Enumerations walk a snapshot of the store
// taken by the first call (previous context null), so a walk sees a stable order even while others write.
//
// Key containers, encoding, certificate creation, requests, searches and properties: platform/cryptoapi/crypt.h.
#pragma once

#include "platform/capicom/capicom_defs.h"
#include "platform/win32/types.h"

using HCERTSTORE = void*;
using HCRYPTPROV = ULONG_PTR;

struct CERT_INFO;  // platform/cryptoapi/crypt.h

struct CERT_CONTEXT {
  DWORD dwCertEncodingType;
  BYTE* pbCertEncoded;
  DWORD cbCertEncoded;
  CERT_INFO* pCertInfo;   // the decoded fields, valid while the context lives
  HCERTSTORE hCertStore;  // the store the context came from; null for one made from bytes
};
using PCCERT_CONTEXT = const CERT_CONTEXT*;

struct CRL_CONTEXT {
  DWORD dwCertEncodingType;
  BYTE* pbCrlEncoded;
  DWORD cbCrlEncoded;
  HCERTSTORE hCertStore;
};
using PCCRL_CONTEXT = const CRL_CONTEXT*;

inline constexpr DWORD X509_ASN_ENCODING = 0x1;
inline constexpr DWORD PKCS_7_ASN_ENCODING = 0x10000;

// Store providers (the value is the provider's number in place of a name).
#define CERT_STORE_PROV_MEMORY (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(2)))
#define CERT_STORE_PROV_SYSTEM_A (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(9)))
#define CERT_STORE_PROV_SYSTEM_W (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(10)))
#define CERT_STORE_PROV_COLLECTION (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(11)))
#define CERT_STORE_PROV_SYSTEM CERT_STORE_PROV_SYSTEM_W

// Open flags.
inline constexpr DWORD CERT_STORE_MAXIMUM_ALLOWED_FLAG = 0x1000;
inline constexpr DWORD CERT_STORE_READONLY_FLAG = 0x8000;
inline constexpr DWORD CERT_SYSTEM_STORE_LOCATION_MASK = 0x00FF0000;
inline constexpr DWORD CERT_SYSTEM_STORE_CURRENT_USER = 0x00010000;
inline constexpr DWORD CERT_SYSTEM_STORE_LOCAL_MACHINE = 0x00020000;

// Close flags.
inline constexpr DWORD CERT_CLOSE_STORE_FORCE_FLAG = 0x1;
inline constexpr DWORD CERT_CLOSE_STORE_CHECK_FLAG = 0x2;

// Verification flags of CertGetCRLFromStore: set on entry to ask for a check, left set on return when the
// check failed, cleared when it passed.
inline constexpr DWORD CERT_STORE_SIGNATURE_FLAG = 0x1;
inline constexpr DWORD CERT_STORE_TIME_VALIDITY_FLAG = 0x2;
inline constexpr DWORD CERT_STORE_BASE_CRL_FLAG = 0x100;
inline constexpr DWORD CERT_STORE_DELTA_CRL_FLAG = 0x200;

// Opens a store. Providers: CERT_STORE_PROV_MEMORY (a new empty store), CERT_STORE_PROV_SYSTEM_A (pvPara the
// name as UTF-8 text) or CERT_STORE_PROV_SYSTEM_W (pvPara the name as UTF-16), with the location in dwFlags
// (current user or local machine; the user's "Root" and "CA" also show the machine's), and
// CERT_STORE_PROV_COLLECTION (a new empty collection for CertAddStoreToCollection). A system store opens for
// reading and writing: E_ACCESSDENIED when it cannot be written, unless CERT_STORE_READONLY_FLAG or
// CERT_STORE_MAXIMUM_ALLOWED_FLAG (read-only where writing is not allowed) is given. Null on failure, with the
// last error: E_INVALIDARG for a bad provider, location or name.
KXAPI HCERTSTORE CertOpenStore(LPCSTR storeProvider, DWORD encodingType, HCRYPTPROV cryptProv, DWORD flags,
                               const void* para);
// The current user's system store of that name ("MY", "Root", "CA", "AddressBook", ...).
KXAPI HCERTSTORE CertOpenSystemStoreA(HCRYPTPROV cryptProv, LPCSTR subsystemProtocol);
KXAPI HCERTSTORE CertDuplicateStore(HCERTSTORE store);
// With CERT_CLOSE_STORE_CHECK_FLAG: FALSE and CRYPT_E_PENDING_CLOSE while contexts of the store are still
// held (the store is closed all the same once they are freed).
KXAPI BOOL CertCloseStore(HCERTSTORE store, DWORD flags);
// Adds a store to a collection; the collection holds a reference to it. The priority orders the members
// (higher first, equal ones in the order they were added); update flags are kept for later writers.
KXAPI BOOL CertAddStoreToCollection(HCERTSTORE collection, HCERTSTORE sibling, DWORD updateFlags, DWORD priority);

// A context of an encoded certificate, in no store. Null and CRYPT_E_ASN1_BADTAG when the bytes hold none.
KXAPI PCCERT_CONTEXT CertCreateCertificateContext(DWORD encodingType, const BYTE* encoded, DWORD length);
KXAPI PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT context);
KXAPI BOOL CertFreeCertificateContext(PCCERT_CONTEXT context);
// The certificate after prev (which is freed), or the first when prev is null; null and CRYPT_E_NOT_FOUND at
// the end.
KXAPI PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE store, PCCERT_CONTEXT prev);

// The next revocation list of the store after prev (which is freed) issued by the issuer's subject (any
// list when the issuer is null), checked as *flags ask: the signature against the issuer's key (needs an
// issuer) and the time (this update <= now < next update). E_INVALIDARG for unknown flags or a signature
// check without issuer; null and CRYPT_E_NOT_FOUND when there is no further list.
KXAPI PCCRL_CONTEXT CertGetCRLFromStore(HCERTSTORE store, PCCERT_CONTEXT issuer, PCCRL_CONTEXT prev, DWORD* flags);
KXAPI PCCRL_CONTEXT CertEnumCRLsInStore(HCERTSTORE store, PCCRL_CONTEXT prev);
KXAPI PCCRL_CONTEXT CertDuplicateCRLContext(PCCRL_CONTEXT context);
KXAPI BOOL CertFreeCRLContext(PCCRL_CONTEXT context);

inline constexpr HRESULT CRYPT_E_PENDING_CLOSE = KX_HR(0x8009200F);
