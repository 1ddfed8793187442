// The chain of one certificate under the engine's settings, with the status of the chain and each element.
#pragma once

#include "engine/CapicomCertificates.h"

class CCapicomChain : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomChain, IChain2)

 public:
  // A new engine chain object; raises when it cannot be made.
  CCapicomChain();
  explicit CCapicomChain(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  // True when the engine reports the chain valid; false for an empty chain or certificate wrapper.
  bool Build(const CCapicomCertificate& certificate);
  // Items 1 (the certificate) to the count (the top of the chain).
  CCapicomCertificates GetCertificates() const;
  // Index 0: the whole chain; 0 on an empty wrapper.
  LONG GetStatus(LONG index) const;
  CBstrString ExtendedErrorInfo(LONG index) const;
};
