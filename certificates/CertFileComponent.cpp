#include "certificates/CertFileComponent.h"

#include <openssl/x509.h>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/store.h"
#include "platform/com/bstr.h"
#include "platform/com/comobject.h"
#include "platform/services/classfactory.h"
#include "platform/ui/ui.h"
#include "platform/win32/textconv.h"

namespace {

using kx::capi::Bytes;

// The file's bytes; false when it cannot be read.
bool ReadBytes(BSTR path, Bytes& out) {
  if (!path) return false;
  const std::string name = kx::Utf16ToUtf8(path, SysStringLen(path));
  FILE* f = fopen(name.c_str(), "rb");
  if (!f) return false;
  unsigned char chunk[8192];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
  const bool ok = !ferror(f);
  fclose(f);
  return ok;
}

std::string TimeText(const ASN1_TIME* t) {
  if (!t) return "-";
  BIO* bio = BIO_new(BIO_s_mem());
  ASN1_TIME_print(bio, t);
  Bytes text = kx::capi::BioBytes(bio);
  BIO_free(bio);
  return std::string(text.begin(), text.end());
}

class CertFileComponent : public kx::ComObject<CertFileComponent, ICertFileComponent> {
 public:
  bool QueryBase(REFIID riid, void** ppv) {
    if (riid != KX_IIDOF(IDispatch)) return false;
    *ppv = static_cast<IDispatch*>(this);
    return true;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // A self-signed authority is a root; another authority an intermediate; anything else a contact's.
  STDMETHODIMP InstallCertificateFile(BSTR path) override {
    Bytes bytes;
    if (!ReadBytes(path, bytes)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    std::vector<kx::capi::CertRef> certs;
    std::vector<kx::capi::CrlRef> crls;
    HRESULT hr = kx::capi::ReadEncodedObjects(bytes.data(), bytes.size(), certs, crls);
    if (FAILED(hr)) return hr;
    for (const kx::capi::CertRef& cert : certs) {
      const bool authority = cert->basicConstraints().ca;
      const char* store = !authority ? "AddressBook" : cert->isSelfIssued() ? "Root" : "CA";
      std::shared_ptr<kx::capi::CertStore> target;
      hr = kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE, target);
      if (FAILED(hr)) return hr;
      kx::capi::StoreEntry entry;
      entry.cert = cert;
      hr = target->Add(entry);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  STDMETHODIMP ViewCrlFile(BSTR path) override {
    Bytes bytes;
    if (!ReadBytes(path, bytes)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    kx::capi::CrlRef crl = kx::capi::CrlData::Parse(bytes);
    if (!crl) return CRYPT_E_ASN1_BADTAG;
    X509_CRL* c = crl->crl();
    const STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(c);
    std::string text = "Issuer: " + kx::capi::FormatName(X509_CRL_get_issuer(c)) +
                       "\nThis update: " + TimeText(X509_CRL_get0_lastUpdate(c)) +
                       "\nNext update: " + TimeText(X509_CRL_get0_nextUpdate(c)) +
                       "\nRevoked certificates: " + std::to_string(revoked ? sk_X509_REVOKED_num(revoked) : 0);
    MessageBoxA(GetActiveWindow(), text.c_str(), "Revocation List", MB_OK);
    return S_OK;
  }

  STDMETHODIMP InstallCrlFile(BSTR path) override {
    Bytes bytes;
    if (!ReadBytes(path, bytes)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    kx::capi::CrlRef crl = kx::capi::CrlData::Parse(bytes);
    if (!crl) return CRYPT_E_ASN1_BADTAG;
    std::shared_ptr<kx::capi::CertStore> store;
    HRESULT hr = kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "CA", CAPICOM_STORE_OPEN_READ_WRITE, store);
    return FAILED(hr) ? hr : store->AddCrl(crl);
  }

  STDMETHODIMP Reserved8(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP Reserved9(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP Reserved10(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP Reserved11(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP Reserved12(BSTR) override { return E_NOTIMPL; }
};

}  // namespace

void RegisterCertFileComponent() {
  auto* factory = new kx::ClassFactoryOf<CertFileComponent>;
  kx::RegisterClassFactory(CLSID_CertFileComponent, factory);
  factory->Release();
}

void UnregisterCertFileComponent() { kx::UnregisterClass(CLSID_CertFileComponent); }
