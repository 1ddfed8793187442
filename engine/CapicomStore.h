// A certificate store opened by location, name and mode, and the verdict object of a validity check.
#pragma once

#include "engine/CapicomCertificates.h"

class CCapicomEKU;

class CCapicomStore : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomStore, IStore2)

 public:
  // A new, closed engine store; raises when it cannot be made. Empty when the engine offers no IStore2.
  CCapicomStore();
  explicit CCapicomStore(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  // The engine's result code, never raised; a null name opens "MY".
  HRESULT Open(LONG location, const char* name, LONG mode);
  // Always a collection that can be counted: an empty or failed store gives 0 certificates.
  CCapicomCertificates GetCertificates() const;
  HRESULT Add(const CCapicomCertificate& certificate);
  HRESULT Remove(const CCapicomCertificate& certificate);
  bool ExportToBuffer(LONG saveAs, LONG encoding, CByteBuffer& out) const;
  HRESULT ImportFromBuffer(const CByteBuffer& buffer);
  HRESULT Load(const char* fileName, const char* password, LONG keyStorageFlag);
};

class CCapicomCertificateStatus : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomCertificateStatus, ICertificateStatus2)

 public:
  // Empty: the object comes from CCapicomCertificate::IsValid.
  CCapicomCertificateStatus();
  HRESULT Create() override;

  // Any non-zero result counts as valid.
  bool GetResult() const;
  LONG GetCheckFlag() const;
  void PutCheckFlag(LONG flags);
  // The usage the check is made against; a new engine EKU object when this wrapper is empty.
  CCapicomEKU EKU() const;
  CDateTime GetVerificationTime() const;
  void PutVerificationTime(const CDateTime& time);
  LONG GetUrlRetrievalTimeout() const;
  void PutUrlRetrievalTimeout(LONG seconds);
};
