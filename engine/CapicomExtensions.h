// Views of a certificate's standard extensions, the usage object of a status check, and encoded values.
#pragma once

#include "engine/CapicomObject.h"

class CCapicomEKUs;

class CCapicomKeyUsage : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomKeyUsage, IKeyUsage)

 public:
  CCapicomKeyUsage() = default;
  HRESULT Create() override;
  bool GetIsPresent() const;
  bool GetIsCritical() const;
  bool GetIsDigitalSignatureEnabled() const;
  bool GetIsNonRepudiationEnabled() const;
  bool GetIsKeyEnciphermentEnabled() const;
  bool GetIsDataEnciphermentEnabled() const;
  bool GetIsKeyAgreementEnabled() const;
  bool GetIsKeyCertSignEnabled() const;
  bool GetIsCRLSignEnabled() const;
  bool GetIsEncipherOnlyEnabled() const;
  bool GetIsDecipherOnlyEnabled() const;
};

class CCapicomExtendedKeyUsage : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomExtendedKeyUsage, IExtendedKeyUsage)

 public:
  CCapicomExtendedKeyUsage() = default;
  HRESULT Create() override;
  bool GetIsPresent() const;
  bool GetIsCritical() const;
  // A new, empty engine collection when this wrapper is empty.
  CCapicomEKUs GetEKUs() const;
};

class CCapicomEKU : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomEKU, IEKU)

 public:
  // A new engine EKU object; raises when it cannot be made.
  CCapicomEKU();
  explicit CCapicomEKU(kx::engine::EmptyTag) {}
  HRESULT Create() override;
  LONG GetName() const;
  void PutName(LONG name);
  bool GetOID(CBstrString& oid) const;
  void PutOID(const CBstrString& oid);
};

class CCapicomEKUs : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomEKUs, IEKUs)

 public:
  // A new, empty engine collection; raises when it cannot be made.
  CCapicomEKUs();
  explicit CCapicomEKUs(kx::engine::EmptyTag) {}
  HRESULT Create() override;
  LONG GetCount() const;
  // A new engine EKU object replaced by the item when this collection holds an object.
  CCapicomEKU GetItem(LONG index) const;
};

class CCapicomBasicConstraints : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomBasicConstraints, IBasicConstraints)

 public:
  CCapicomBasicConstraints() = default;
  HRESULT Create() override;
  bool GetIsPresent() const;
  bool GetIsCritical() const;
  bool GetIsCertificateAuthority() const;
  bool GetIsPathLenConstraintPresent() const;
  LONG GetPathLenConstraint() const;
};

class CCapicomEncodedData : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomEncodedData, IEncodedData)

 public:
  CCapicomEncodedData() = default;
  CBstrString GetValue(LONG encoding) const;
  CBstrString Format(VARIANT_BOOL multiLine) const;
};
