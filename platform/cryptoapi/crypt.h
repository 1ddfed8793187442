// The platform's key containers, hashes, encodings, certificate and request signing, name conversion, store
// searches and certificate properties, as far as certificate creation and enrolment use them.
//
// Providers: a small fixed table (CryptEnumProvidersA lists it). Type 1 providers make RSA key pairs, type 13
// DSA signature keys (Diffie-Hellman exchange keys are not offered). Key containers are the engine's key files
// (one PKCS#8 file, mode 0600, per container, in the user's or the machine's key folder); a container holds one
// key pair, whatever its key spec. Handles (HCRYPTPROV, HCRYPTKEY, HCRYPTHASH) are pointers to objects of this
// folder, released with their release or destroy function.
//
// Results follow the platform: FALSE (or null) with the reason in GetLastError. Functions that fill a caller's
// buffer take its size in *cb: with a null buffer they give the size needed; with a short one they give that
// size and fail with ERROR_MORE_DATA. Integer blobs (serial numbers) are little-endian, as on the platform.
#pragma once

#include "platform/cryptoapi/cryptoapi.h"

using HCRYPTKEY = ULONG_PTR;
using HCRYPTHASH = ULONG_PTR;
using ALG_ID = unsigned int;

struct CRYPTOAPI_BLOB {
  DWORD cbData;
  BYTE* pbData;
};
using CRYPT_INTEGER_BLOB = CRYPTOAPI_BLOB;
using CRYPT_OBJID_BLOB = CRYPTOAPI_BLOB;
using CERT_NAME_BLOB = CRYPTOAPI_BLOB;
using CRYPT_DATA_BLOB = CRYPTOAPI_BLOB;
using CRYPT_DER_BLOB = CRYPTOAPI_BLOB;
using CRYPT_ATTR_BLOB = CRYPTOAPI_BLOB;

struct CRYPT_BIT_BLOB {
  DWORD cbData;
  BYTE* pbData;
  DWORD cUnusedBits;
};

struct CRYPT_ALGORITHM_IDENTIFIER {
  LPSTR pszObjId;
  CRYPT_OBJID_BLOB Parameters;
};

struct CERT_PUBLIC_KEY_INFO {
  CRYPT_ALGORITHM_IDENTIFIER Algorithm;
  CRYPT_BIT_BLOB PublicKey;
};

struct CERT_EXTENSION {
  LPSTR pszObjId;
  BOOL fCritical;
  CRYPT_OBJID_BLOB Value;
};
using PCERT_EXTENSION = CERT_EXTENSION*;

struct CERT_EXTENSIONS {
  DWORD cExtension;
  CERT_EXTENSION* rgExtension;
};

struct CERT_INFO {
  DWORD dwVersion;
  CRYPT_INTEGER_BLOB SerialNumber;
  CRYPT_ALGORITHM_IDENTIFIER SignatureAlgorithm;
  CERT_NAME_BLOB Issuer;
  FILETIME NotBefore;
  FILETIME NotAfter;
  CERT_NAME_BLOB Subject;
  CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;
  CRYPT_BIT_BLOB IssuerUniqueId;
  CRYPT_BIT_BLOB SubjectUniqueId;
  DWORD cExtension;
  CERT_EXTENSION* rgExtension;
};
using PCERT_INFO = CERT_INFO*;

struct CRYPT_ATTRIBUTE {
  LPSTR pszObjId;
  DWORD cValue;
  CRYPT_ATTR_BLOB* rgValue;
};

struct CERT_REQUEST_INFO {
  DWORD dwVersion;
  CERT_NAME_BLOB Subject;
  CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;
  DWORD cAttribute;
  CRYPT_ATTRIBUTE* rgAttribute;
};

struct CERT_ENHKEY_USAGE {
  DWORD cUsageIdentifier;
  LPSTR* rgpszUsageIdentifier;
};

struct CERT_BASIC_CONSTRAINTS2_INFO {
  BOOL fCA;
  BOOL fPathLenConstraint;
  DWORD dwPathLenConstraint;
};

struct CERT_AUTHORITY_KEY_ID_INFO {
  CRYPT_DATA_BLOB KeyId;
  CERT_NAME_BLOB CertIssuer;
  CRYPT_INTEGER_BLOB CertSerialNumber;
};

struct CRYPT_SMIME_CAPABILITY {
  LPSTR pszObjId;
  CRYPT_OBJID_BLOB Parameters;
};

struct CRYPT_SMIME_CAPABILITIES {
  DWORD cCapability;
  CRYPT_SMIME_CAPABILITY* rgCapability;
};

struct CRYPT_KEY_PROV_PARAM;
struct CRYPT_KEY_PROV_INFO {
  LPWSTR pwszContainerName;
  LPWSTR pwszProvName;
  DWORD dwProvType;
  DWORD dwFlags;
  DWORD cProvParam;
  CRYPT_KEY_PROV_PARAM* rgProvParam;
  DWORD dwKeySpec;
};

// Structure types of CryptEncodeObject and CryptDecodeObject (an object identifier text also names the type of
// its extension).
#define KX_CRYPT_TYPE(n) (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(n)))
#define X509_CERT_TO_BE_SIGNED KX_CRYPT_TYPE(2)
#define X509_CERT_REQUEST_TO_BE_SIGNED KX_CRYPT_TYPE(4)
// The platform's X509_EXTENSIONS, named apart from the OpenSSL type of that name.
#define X509_EXTENSIONS_LIST KX_CRYPT_TYPE(5)
#define X509_AUTHORITY_KEY_ID KX_CRYPT_TYPE(9)
#define X509_KEY_USAGE KX_CRYPT_TYPE(14)
#define X509_BASIC_CONSTRAINTS2 KX_CRYPT_TYPE(15)
#define X509_OCTET_STRING KX_CRYPT_TYPE(25)
#define X509_ENHANCED_KEY_USAGE KX_CRYPT_TYPE(36)
#define PKCS_SMIME_CAPABILITIES KX_CRYPT_TYPE(42)

#define szOID_AUTHORITY_KEY_IDENTIFIER "2.5.29.1"
#define szOID_SUBJECT_KEY_IDENTIFIER "2.5.29.14"
#define szOID_KEY_USAGE "2.5.29.15"
#define szOID_BASIC_CONSTRAINTS2 "2.5.29.19"
#define szOID_ENHANCED_KEY_USAGE "2.5.29.37"
#define szOID_RSA_certExtensions "1.2.840.113549.1.9.14"
#define szOID_RSA_SMIMECapabilities "1.2.840.113549.1.9.15"

// Key specs, algorithms, providers.
inline constexpr DWORD AT_KEYEXCHANGE = 1;
inline constexpr DWORD AT_SIGNATURE = 2;
inline constexpr ALG_ID CALG_MD5 = 0x8003;
inline constexpr ALG_ID CALG_SHA1 = 0x8004;
inline constexpr ALG_ID CALG_RC4 = 0x6801;
inline constexpr DWORD PROV_RSA_FULL = 1;
inline constexpr DWORD PROV_DSS_DH = 13;

// CryptAcquireContext flags.
inline constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;
inline constexpr DWORD CRYPT_NEWKEYSET = 0x8;
inline constexpr DWORD CRYPT_DELETEKEYSET = 0x10;
inline constexpr DWORD CRYPT_MACHINE_KEYSET = 0x20;
// CryptGenKey / CryptDeriveKey flags: the key length in bits is in the upper 16 bits.
inline constexpr DWORD CRYPT_EXPORTABLE = 0x1;
// CryptExportKey blob types.
inline constexpr DWORD PRIVATEKEYBLOB = 0x7;
// CryptGetHashParam parameters.
inline constexpr DWORD HP_HASHVAL = 0x2;
inline constexpr DWORD HP_HASHSIZE = 0x4;
// CertStrToName string type.
inline constexpr DWORD CERT_X500_NAME_STR = 3;
// CertFindCertificateInStore: the subject's text contains the string (without regard to case).
inline constexpr DWORD CERT_FIND_SUBJECT_STR_A = 0x00070007;
// CertAddEncodedCertificateToStore dispositions.
inline constexpr DWORD CERT_STORE_ADD_NEW = 1;
inline constexpr DWORD CERT_STORE_ADD_USE_EXISTING = 2;
inline constexpr DWORD CERT_STORE_ADD_REPLACE_EXISTING = 3;
inline constexpr DWORD CERT_STORE_ADD_ALWAYS = 4;
// Certificate properties.
inline constexpr DWORD CERT_KEY_PROV_INFO_PROP_ID = 2;

inline constexpr HRESULT NTE_BAD_HASH = KX_HR(0x80090002);
inline constexpr HRESULT NTE_BAD_FLAGS = KX_HR(0x80090009);
inline constexpr HRESULT NTE_BAD_ALGID = KX_HR(0x80090008);
inline constexpr HRESULT NTE_BAD_TYPE = KX_HR(0x8009000A);
inline constexpr HRESULT NTE_EXISTS = KX_HR(0x8009000F);
inline constexpr HRESULT NTE_NO_KEY = KX_HR(0x8009000D);
inline constexpr HRESULT NTE_PROV_TYPE_NOT_DEF = KX_HR(0x80090017);
inline constexpr HRESULT NTE_KEYSET_NOT_DEF = KX_HR(0x80090019);
inline constexpr HRESULT NTE_PROV_TYPE_NO_MATCH = KX_HR(0x8009001B);
inline constexpr HRESULT NTE_FAIL = KX_HR(0x80090020);
inline constexpr HRESULT CRYPT_E_INVALID_X500_STRING = KX_HR(0x80092023);
inline constexpr HRESULT CRYPT_E_UNKNOWN_ALGO = KX_HR(0x80091002);

// ---- providers, key containers, keys, hashes ----

// Opens (flags 0), creates (CRYPT_NEWKEYSET; NTE_EXISTS when it exists) or deletes (CRYPT_DELETEKEYSET; *prov is
// then 0) a key container of the provider (null: the type's default provider), in the machine's key folder with
// CRYPT_MACHINE_KEYSET. A null container name stands for the default container "default".
// CRYPT_VERIFYCONTEXT opens no container.
KXAPI BOOL CryptAcquireContextA(HCRYPTPROV* prov, LPCSTR container, LPCSTR provider, DWORD provType, DWORD flags);
KXAPI BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags);
// The provider table: name and type at the index; ERROR_NO_MORE_ITEMS past the end.
KXAPI BOOL CryptEnumProvidersA(DWORD index, DWORD* reserved, DWORD flags, DWORD* provType, LPSTR name, DWORD* cb);
KXAPI BOOL CryptGenRandom(HCRYPTPROV prov, DWORD length, BYTE* buffer);
// A new key pair in the container (replacing the one it held); algId is AT_KEYEXCHANGE or AT_SIGNATURE. A length
// in the upper 16 bits outside the provider's range fails with NTE_BAD_FLAGS; 0 takes the provider's default.
KXAPI BOOL CryptGenKey(HCRYPTPROV prov, ALG_ID algId, DWORD flags, HCRYPTKEY* key);
// The container's key pair; NTE_NO_KEY when it holds none.
KXAPI BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key);
KXAPI BOOL CryptDestroyKey(HCRYPTKEY key);
// The public key of the container's pair as a CERT_PUBLIC_KEY_INFO (its pointers into the caller's buffer).
KXAPI BOOL CryptExportPublicKeyInfo(HCRYPTPROV prov, DWORD keySpec, DWORD encodingType, CERT_PUBLIC_KEY_INFO* info,
                                    DWORD* cb);
KXAPI BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID algId, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
KXAPI BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags);
KXAPI BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* cb, DWORD flags);
KXAPI BOOL CryptDestroyHash(HCRYPTHASH hash);
// A session key derived from the hash. It remembers the data the hash was given: an export under it protects the
// exported key with that data as the passphrase.
KXAPI BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID algId, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key);
// PRIVATEKEYBLOB of an exportable key pair (NTE_BAD_KEY_STATE otherwise): a PKCS#8 structure, DER; under an
// export key an encrypted one (PBES2 with AES-256) whose passphrase is the text the export key was derived from.
KXAPI BOOL CryptExportKey(HCRYPTKEY key, HCRYPTKEY expKey, DWORD blobType, DWORD flags, BYTE* data, DWORD* cb);

// ---- names, encodings, signing ----

// "CN=Alice,OU=Sales,O=Example,C=GB": attribute=value pairs separated by ',' or ';' ('+' joins the parts of one
// entry), values optionally in double quotes ("" for a quote); the entries keep their order. Keys: CN, OU, O, L,
// S or ST, C, E or Email, STREET, T or Title, G, I, SN, DC, SERIALNUMBER and "OID.<dotted>". A string that cannot
// be read gives CRYPT_E_INVALID_X500_STRING and, in *error, where reading stopped.
KXAPI BOOL CertStrToNameA(DWORD encodingType, LPCSTR x500, DWORD strType, void* reserved, BYTE* encoded, DWORD* cb,
                          LPCSTR* error);
// Types: X509_KEY_USAGE (CRYPT_BIT_BLOB), X509_ENHANCED_KEY_USAGE (CERT_ENHKEY_USAGE), X509_BASIC_CONSTRAINTS2,
// X509_AUTHORITY_KEY_ID (CERT_AUTHORITY_KEY_ID_INFO), X509_OCTET_STRING and szOID_SUBJECT_KEY_IDENTIFIER
// (CRYPT_DATA_BLOB), X509_EXTENSIONS_LIST (CERT_EXTENSIONS), PKCS_SMIME_CAPABILITIES; the extensions' object
// identifiers name their types too. Another type: ERROR_FILE_NOT_FOUND (no encoder).
KXAPI BOOL CryptEncodeObject(DWORD encodingType, LPCSTR structType, const void* structInfo, BYTE* encoded, DWORD* cb);
// The same types in reverse; the decoded structure first in the buffer, its data after it.
KXAPI BOOL CryptDecodeObject(DWORD encodingType, LPCSTR structType, const BYTE* encoded, DWORD length, DWORD flags,
                             void* structInfo, DWORD* cb);
// Signs a certificate (X509_CERT_TO_BE_SIGNED, CERT_INFO) or a request (X509_CERT_REQUEST_TO_BE_SIGNED,
// CERT_REQUEST_INFO) with the container's key pair; the algorithm names the signature (MD5 or SHA-1 with RSA,
// DSA with SHA-1) and is written into both algorithm fields of a certificate. Gives the signed DER.
KXAPI BOOL CryptSignAndEncodeCertificate(HCRYPTPROV prov, DWORD keySpec, DWORD encodingType, LPCSTR structType,
                                         const void* structInfo, const CRYPT_ALGORITHM_IDENTIFIER* signatureAlgorithm,
                                         const void* reserved, BYTE* encoded, DWORD* cb);
// The extension with that identifier, or null.
KXAPI PCERT_EXTENSION CertFindExtension(LPCSTR objId, DWORD count, CERT_EXTENSION* extensions);

// ---- store searches and properties ----

// The next certificate after prev (which is freed) whose subject text contains the string; CRYPT_E_NOT_FOUND at
// the end.
KXAPI PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE store, DWORD encodingType, DWORD findFlags, DWORD findType,
                                                const void* findPara, PCCERT_CONTEXT prev);
// Adds an encoded certificate (a collection: to its first store); *out (when asked) gets its context in the store.
// CERT_STORE_ADD_NEW fails with CRYPT_E_EXISTS for a certificate the store holds.
KXAPI BOOL CertAddEncodedCertificateToStore(HCERTSTORE store, DWORD encodingType, const BYTE* encoded, DWORD length,
                                            DWORD disposition, PCCERT_CONTEXT* out);
// CERT_KEY_PROV_INFO_PROP_ID only: the key container a stored certificate is linked to (CRYPT_E_NOT_FOUND when
// it has none). Setting it links the stored certificate to the container (null data removes the link).
KXAPI BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT context, DWORD propId, void* data, DWORD* cb);
KXAPI BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT context, DWORD propId, DWORD flags, const void* data);

// ---- the RPC run-time's identifiers ----

using RPC_STATUS = long;
inline constexpr RPC_STATUS RPC_S_OK = 0;
using UUID = GUID;
// A random (version 4) identifier from the system's random source.
KXAPI RPC_STATUS UuidCreate(UUID* uuid);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in lower case, freed with RpcStringFreeA.
KXAPI RPC_STATUS UuidToStringA(const UUID* uuid, unsigned char** text);
KXAPI RPC_STATUS RpcStringFreeA(unsigned char** text);

namespace kx::cryptoapi {

// The provider table as the enrolment control presents it.
struct ProviderInfo {
  const char* name;
  DWORD type;
  bool dsa;             // DSA signature keys instead of RSA pairs
  DWORD minBits, maxBits, defaultBits;
};
KXAPI const ProviderInfo* FindProvider(const char* name, DWORD type);
KXAPI const ProviderInfo* ProviderAt(DWORD index);

// File name (in the key folder) of a container name, and back: names that are plain file names stay as they are.
KXAPI std::string ContainerFileName(const std::string& container);
KXAPI std::string ContainerFromFileName(const std::string& file);

}  // namespace kx::cryptoapi
