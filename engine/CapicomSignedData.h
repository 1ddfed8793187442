// A signed message over a content: the system signs detached, binary-encoded, one signer at a time, and
// verifies a stored signature against the content put first.
#pragma once

#include "engine/CapicomCertificates.h"
#include "engine/CapicomSigner.h"

class CCapicomSignedData : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomSignedData, ISignedData)

 public:
  // A new engine object; raises when it cannot be made.
  CCapicomSignedData();
  explicit CCapicomSignedData(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  void PutContent(BSTR content);
  // An empty buffer does nothing; the bytes travel unchanged (zero bytes included).
  void PutContentFromBuffer(const CByteBuffer& content);
  // True when the engine gave a content.
  bool GetContentToBuffer(CByteBuffer& out) const;
  CBstrString GetContent() const;
  CCapicomSigners GetSigners() const;
  CCapicomSigners& GetSigners(CCapicomSigners& out) const { return out = GetSigners(); }
  CCapicomCertificates GetCertificates() const;
  CCapicomCertificates& GetCertificates(CCapicomCertificates& out) const { return out = GetCertificates(); }

  // Signs with the signer; no error leaves it: a failure gives false, the result code and the engine's
  // description of the failure.
  bool SignToBuffer(const CCapicomSigner& signer, bool detached, LONG encoding, CByteBuffer& out, HRESULT& result,
                    CBstrString& errorText);
  // The engine's Sign without a signer.
  bool Sign(bool detached, LONG encoding, CByteBuffer& out);
  // Adds the signer to the last message signed or verified; false for an empty signer wrapper.
  bool CoSign(const CCapicomSigner& signer, LONG encoding, CByteBuffer& out);
  // The engine's result code (E_FAIL on an empty wrapper); verify flag 0 signature only, 1 with certificates.
  HRESULT Verify(const CByteBuffer& message, bool detached, LONG verifyFlag);
};
