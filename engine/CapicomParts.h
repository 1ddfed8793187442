// A certificate's parts (private key, public key, template, extensions, extended properties) and the
// engine's utilities object.
#pragma once

#include "engine/CapicomObject.h"

class CCapicomOID;
class CCapicomEncodedData;

class CCapicomPrivateKey : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomPrivateKey, IPrivateKey)

 public:
  CCapicomPrivateKey() = default;
  CBstrString GetContainerName() const;
  CBstrString GetUniqueContainerName() const;
  CBstrString GetProviderName() const;
  LONG GetProviderType() const;
  LONG GetKeySpec() const;
  bool IsAccessible() const;
  bool IsProtected() const;
  bool IsExportable() const;
  // False also when the engine fails to answer; never raises.
  bool IsRemovable() const;
  bool IsMachineKeyset() const;
  bool IsHardwareDevice() const;
  HRESULT Open(const char* containerName, const char* providerName, LONG providerType, LONG keySpec,
               LONG storeLocation, bool checkExistence);
  HRESULT Delete();
};

class CCapicomPublicKey : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomPublicKey, IPublicKey)

 public:
  CCapicomPublicKey() = default;
  CCapicomOID& GetAlgorithm(CCapicomOID& out) const;
  LONG GetLength() const;
  CCapicomEncodedData& GetEncodedKey(CCapicomEncodedData& out) const;
  CCapicomEncodedData& GetEncodedParameters(CCapicomEncodedData& out) const;
};

class CCapicomTemplate : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomTemplate, ITemplate)

 public:
  CCapicomTemplate() = default;
  bool GetIsPresent() const;
  bool GetIsCritical() const;
  CBstrString GetName() const;
  CCapicomOID& GetOID(CCapicomOID& out) const;
  LONG GetMajorVersion() const;
  LONG GetMinorVersion() const;
};

// The certificate's extensions; users work on the held interface.
class CCapicomExtensions : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomExtensions, IExtensions)

 public:
  CCapicomExtensions() = default;
};

class CCapicomExtension : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomExtension, IExtension)

 public:
  CCapicomExtension() = default;
};

class CCapicomExtendedProperties : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomExtendedProperties, IExtendedProperties)

 public:
  CCapicomExtendedProperties() = default;
};

// The engine's utilities; its user calls BinaryStringToByteArray on the held interface.
class CCapicomUtilities : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomUtilities, IUtilities)

 public:
  // A new engine utilities object; raises when it cannot be made.
  CCapicomUtilities();
  explicit CCapicomUtilities(kx::engine::EmptyTag) {}
  HRESULT Create() override;
};
