// The engine's process-wide settings, and object identifiers.
#pragma once

#include "engine/CapicomObject.h"

class CCapicomSettings : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomSettings, ISettings)

 public:
  // A new engine settings object; raises when it cannot be made.
  CCapicomSettings();
  explicit CCapicomSettings(kx::engine::EmptyTag) {}
  HRESULT Create() override;
  bool GetEnablePromptForCertificateUI() const;
  void PutEnablePromptForCertificateUI(bool enable);
  // 0 any, 1 global catalog, 2 default domain.
  LONG GetActiveDirectorySearchLocation() const;
  void PutActiveDirectorySearchLocation(LONG location);
};

class CCapicomOID : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomOID, IOID)

 public:
  CCapicomOID();
  HRESULT Create() override;
  LONG GetName() const;
  void PutName(LONG name);
  CBstrString GetFriendlyName() const;
  void PutFriendlyName(const char* name);
  // The dotted identifier.
  CBstrString GetValue() const;
  void PutValue(const char* value);
};

class CCapicomOIDs : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomOIDs, IOIDs)

 public:
  CCapicomOIDs();
  HRESULT Create() override;
  LONG GetCount() const;
  // An empty OID wrapper when this collection wrapper is empty.
  CCapicomOID GetItem(LONG index) const;
  HRESULT Add(const CCapicomOID& oid);
  HRESULT Remove(LONG index);
  HRESULT Clear();
};
