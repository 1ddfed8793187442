// An Authenticode signature on a program file, applied, time-stamped and checked in place by the engine.
#pragma once

#include "engine/CapicomCertificates.h"
#include "engine/CapicomSigner.h"
#include "platform/capicom/signedcode.h"

class CCapicomSignedCode : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomSignedCode, ISignedCode)

 public:
  // A new engine object; raises when it cannot be made.
  CCapicomSignedCode();
  explicit CCapicomSignedCode(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  // The file signed or verified; set before signing or verifying.
  CBstrString GetFileName() const;
  void PutFileName(const char* path);
  // Program name and its web address, carried in the next signature.
  CBstrString GetDescription() const;
  void PutDescription(const char* text);
  CBstrString GetDescriptionURL() const;
  void PutDescriptionURL(const char* url);

  // The signer and time stamper of the file's signature (an empty wrapper when it has no time stamp), and
  // the certificates it carries.
  CCapicomSigner GetSigner() const;
  CCapicomSigner& GetSigner(CCapicomSigner& out) const { return out = GetSigner(); }
  CCapicomSigner GetTimeStamper() const;
  CCapicomSigner& GetTimeStamper(CCapicomSigner& out) const { return out = GetTimeStamper(); }
  CCapicomCertificates GetCertificates() const;
  CCapicomCertificates& GetCertificates(CCapicomCertificates& out) const { return out = GetCertificates(); }

  // E_FAIL on an empty wrapper (nothing is touched); else S_OK, an engine refusal being raised with its code.
  HRESULT Sign(const CCapicomSigner& signer);
  // Time-stamps the file's signature through the service at the address.
  HRESULT Timestamp(const char* url);
  // The flag goes to the engine as -1 when set, 0 when clear.
  HRESULT Verify(bool allowUserInterface);
};
