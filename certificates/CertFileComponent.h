// The certificate file component: a COM class beside the library to which the certificate manager hands
// certificate and revocation-list files chosen by the user. Its callers use three methods by their place in
// the interface (7, 13 and 14, after IUnknown and IDispatch) and ignore their results.
//
// Here the component installs a certificate file into the store a certificate of its kind belongs in (a
// self-signed authority into the user's "Root", another authority into "CA", any other certificate into
// "AddressBook"), shows a revocation list file (issuer and dates), and installs one into the user's "CA"
// store.
#pragma once

#include "platform/com/combase.h"
#include "platform/com/oleauto.h"

KX_DEFINE_GUID(CLSID_CertFileComponent, "{94B1CBF2-51BB-4AA7-9721-2ED5EF917B1C}");

struct ICertFileComponent : IDispatch {
  STDMETHOD(InstallCertificateFile)(BSTR path) = 0;  // 7
  STDMETHOD(Reserved8)(BSTR) = 0;
  STDMETHOD(Reserved9)(BSTR) = 0;
  STDMETHOD(Reserved10)(BSTR) = 0;
  STDMETHOD(Reserved11)(BSTR) = 0;
  STDMETHOD(Reserved12)(BSTR) = 0;
  STDMETHOD(ViewCrlFile)(BSTR path) = 0;     // 13
  STDMETHOD(InstallCrlFile)(BSTR path) = 0;  // 14
};
KX_DEFINE_IID(ICertFileComponent, "D1C979B1-48D9-47E7-B21F-768A1AEDE9F0");

// Registers the component with the class registry (done once when the library loads).
void RegisterCertFileComponent();
// Removes the class again before the library that holds its code is unloaded.
void UnregisterCertFileComponent();
