// The platform's certificate enrolment control: makes a key pair in a provider's key container and a PKCS#10
// request for it, and installs the certificate issued for such a request into the user's "My" store, linked to
// its key. Created by CLSID_CEnroll through the class registry (served by the built-in module "XENROLL.DLL");
// only the members certificate creation uses are offered.
#pragma once

#include "platform/com/unknwn.h"
#include "platform/cryptoapi/crypt.h"

KX_DEFINE_GUID(CLSID_CEnroll, "{43F8F289-7A20-11D0-8F06-00C04FC295E1}");
inline constexpr char kEnrollModuleName[] = "XENROLL.DLL";

struct ICEnroll3 : IUnknown {
  // The signature's hash: "MD5", "SHA1" (or "SHA-1"), a hash's object identifier, or a signature algorithm's
  // (MD5 or SHA-1 with RSA, DSA with SHA-1). NTE_BAD_ALGID for anything else.
  STDMETHOD(put_HashAlgorithm)(BSTR algorithm) = 0;
  // NTE_PROV_TYPE_NOT_DEF for a type no provider has.
  STDMETHOD(put_ProviderType)(LONG type) = 0;
  STDMETHOD(get_ProviderType)(LONG* type) = 0;
  // AT_KEYEXCHANGE or AT_SIGNATURE.
  STDMETHOD(put_KeySpec)(LONG keySpec) = 0;
  STDMETHOD(put_EnableSMIMECapabilities)(BOOL enable) = 0;
  // Empty: the type's default provider.
  STDMETHOD(put_ProviderName)(BSTR name) = 0;
  // Kept for callers; issued certificates always go into the store with their key link.
  STDMETHOD(put_WriteCertToCSP)(BOOL write) = 0;
  // CryptGenKey's flags: the key length in the upper 16 bits, CRYPT_EXPORTABLE.
  STDMETHOD(put_GenKeyFlags)(LONG flags) = 0;
  // A new key pair in a new container and a request for it, signed with it: the subject from the X.500 text, an
  // extension request with the key usage of the key spec, the extended key usages listed in `usage` (object
  // identifiers separated by commas; empty for none) and, when enabled, the S/MIME capabilities. The request
  // comes back as base64 text of its DER form.
  STDMETHOD(createPKCS10)(BSTR subject, BSTR usage, BSTR* request) = 0;
  // A PKCS#7 message (or a single certificate; DER given as the BSTR's bytes, or base64 text) whose certificate
  // belongs to a key pair made by createPKCS10: the certificate goes into the user's "My" store, linked to the
  // key's container. CRYPT_E_NOT_FOUND when no certificate matches a key of the user.
  STDMETHOD(acceptPKCS7)(BSTR message) = 0;
  // The name of the index-th provider of the current type; HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) past the end.
  STDMETHOD(enumProviders)(LONG index, LONG flags, BSTR* name) = 0;
  // The smallest (fMin) or largest key length in bits of the current provider.
  STDMETHOD(GetKeyLen)(BOOL fMin, BOOL fExchange, LONG* bits) = 0;
};
KX_DEFINE_IID(ICEnroll3, "C28C2D95-B7DE-11D2-A421-00C04F79FE8E");
