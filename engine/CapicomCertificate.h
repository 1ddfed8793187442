// One engine certificate with a 32-bit tag: the currency of every certificate list, choice and record.
#pragma once

#include "engine/CapicomObject.h"

class CCapicomCertificateStatus;
class CCapicomKeyUsage;
class CCapicomExtendedKeyUsage;
class CCapicomBasicConstraints;
class CCapicomTemplate;
class CCapicomPublicKey;
class CCapicomPrivateKey;
class CCapicomExtensions;
class CCapicomExtendedProperties;

class CCapicomCertificate : public CCapicomObject {
  KX_CAPICOM_POINTER(ICertificate2)

 public:
  // A new engine certificate object that holds no certificate yet; raises when it cannot be made.
  CCapicomCertificate();
  explicit CCapicomCertificate(kx::engine::EmptyTag);
  // Copies share the engine object and take its tag; assigning an empty wrapper keeps the tag.
  CCapicomCertificate(const CCapicomCertificate& other);
  CCapicomCertificate& operator=(const CCapicomCertificate& other);
  ~CCapicomCertificate() override;
  HRESULT Create() override;

  LONG GetVersion() const;
  CBstrString GetSerialNumber() const;
  CBstrString GetSubjectName() const;
  CBstrString GetIssuerName() const;
  CDateTime GetValidFromDate() const;
  CDateTime GetValidToDate() const;
  CBstrString GetThumbprint() const;
  bool HasPrivateKey() const;
  // 0 subject simple name, 1 issuer simple name, 2 subject e-mail name.
  CBstrString GetInfo(LONG infoType) const;
  CCapicomCertificateStatus IsValid() const;
  CCapicomKeyUsage KeyUsage() const;
  CCapicomExtendedKeyUsage ExtendedKeyUsage() const;
  CCapicomBasicConstraints BasicConstraints() const;

  CBstrString ExportToString(LONG encoding) const;
  HRESULT ImportFromString(const CBstrString& encoded);
  CByteBuffer ExportToBuffer(LONG encoding) const;
  // E_FAIL for an empty buffer (nothing is called, the certificate stays as it was).
  HRESULT ImportFromBuffer(const CByteBuffer& buffer);
  // The encoded certificate as a one-dimensional byte array, handed to *out.
  VARIANT* ExportToSafeArray(VARIANT* out, LONG encoding) const;
  HRESULT ImportFromSafeArray(const VARIANT& array);

  HRESULT Display();
  bool GetArchived() const;
  void PutArchived(bool archived);
  CCapicomTemplate Template() const;
  CCapicomPublicKey PublicKey() const;
  // An empty wrapper when the certificate has no private key; never raises.
  CCapicomPrivateKey GetPrivateKey() const;
  void PutPrivateKey(const CCapicomPrivateKey& key);
  CCapicomExtensions Extensions() const;
  CCapicomExtendedProperties ExtendedProperties() const;
  // A PFX or certificate file; the engine's result code is returned, never raised.
  HRESULT Load(const char* fileName, const char* password, LONG keyStorageFlag, LONG keyLocation);
  HRESULT Save(const char* fileName, const char* password, LONG saveAs, LONG includeOption);
  // Issuer, serial number, subject, thumbprint, validity dates and version all equal; never raises.
  bool IsEqual(const CCapicomCertificate& other) const;

  LONG GetTag() const { return m_nTag; }
  void SetTag(LONG tag) { m_nTag = tag; }

 private:
  LONG m_nTag = -1;
};
