// Interface of the certificate engine's SignedCode object: an Authenticode signature applied to, time-stamped
// on and checked in a program file (a PE image), in place. Made with CoCreateInstance by CLSID_SignedCode.
//
// Sign, Timestamp and Verify answer S_OK or a trust code of the platform (TRUST_E_NOSIGNATURE for a file
// without a signature, TRUST_E_BAD_DIGEST for a changed file, TRUST_E_SUBJECT_FORM_UNKNOWN for a file that
// is not a program, the chain codes CERT_E_* of the signer's certificate), an engine code for the signer, or
// a file or HTTP error; a failure leaves the file as it was.
#pragma once

#include "platform/capicom/messages.h"

struct ISignedCode : IDispatch {
  // The program file the object signs, stamps or verifies.
  STDMETHOD(get_FileName)(BSTR* pVal) = 0;
  STDMETHOD(put_FileName)(BSTR newVal) = 0;
  // Program name and information link written into the next signature.
  STDMETHOD(get_Description)(BSTR* pVal) = 0;
  STDMETHOD(put_Description)(BSTR newVal) = 0;
  STDMETHOD(get_DescriptionURL)(BSTR* pVal) = 0;
  STDMETHOD(put_DescriptionURL)(BSTR newVal) = 0;
  // The signer and the time stamper of the file's signature (null when it has no time stamp), and the
  // certificates the signature carries. After a Verify of the same file the signers hold the chains it built.
  STDMETHOD(get_Signer)(ISigner2** pVal) = 0;
  STDMETHOD(get_TimeStamper)(ISigner2** pVal) = 0;
  STDMETHOD(get_Certificates)(ICertificates2** pVal) = 0;
  // Signs with the signer's certificate and key; its Options say which chain certificates go along, its
  // signing-time attribute dates the signature, its document name and description are signed with it.
  STDMETHOD(Sign)(ISigner2* signer) = 0;
  // Adds a time stamp from the service at the address (legacy Authenticode time-stamp protocol over HTTP).
  STDMETHOD(Timestamp)(BSTR url) = 0;
  // Checks the image digest, the signature, its time stamp and the signer's chain over the user's stores.
  // The engine never prompts; the flag is accepted for callers that allow it.
  STDMETHOD(Verify)(VARIANT_BOOL allowUserInterface) = 0;
};

KX_DEFINE_IID(ISignedCode, "84FBCB95-5600-404C-9187-AC25B4CD6E94");
_COM_SMARTPTR_TYPEDEF(ISignedCode, IID_ISignedCode);
