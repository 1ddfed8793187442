// Parameters of the data objects: an envelope's content-encryption algorithm, and a signer's authenticated
// attributes.
#pragma once

#include "engine/CapicomObject.h"

class CCapicomAlgorithm : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomAlgorithm, IAlgorithm)

 public:
  // Empty: the object comes from an enveloped or encrypted data object.
  CCapicomAlgorithm();
  HRESULT Create() override;
  // 0 RC2, 1 RC4, 2 DES, 3 triple DES, 4 AES.
  LONG GetName() const;
  void PutName(LONG name);
  // 0 maximum, 1 40 bits, 2 56, 3 128, 4 192, 5 256.
  LONG GetKeyLength() const;
  void PutKeyLength(LONG keyLength);
};

class CCapicomAttribute : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomAttribute, IAttribute)

 public:
  // A new engine attribute; raises when it cannot be made.
  CCapicomAttribute();
  explicit CCapicomAttribute(kx::engine::EmptyTag) {}
  HRESULT Create() override;
  // 0 signing time, 1 document name, 2 document description.
  LONG GetName() const;
  void PutName(LONG name);
  VARIANT* GetValue(VARIANT* out) const;
  bool GetValueString(CBstrString& out) const;
  // An invalid date (and true) when the value is not a date.
  bool GetValueDate(CDateTime& out) const;
  void PutValue(const VARIANT& value);
  void PutValueString(const char* value);
  void PutValueDate(const CDateTime& value);
};

class CCapicomAttributes : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomAttributes, IAttributes)

 public:
  // Empty: the object comes from a signer.
  CCapicomAttributes();
  HRESULT Create() override;
  LONG GetCount() const;
  // Unlike the other collections, no test for an empty wrapper: it raises E_POINTER then.
  CCapicomAttribute GetItem(LONG index) const;
  HRESULT Add(const CCapicomAttribute& attribute);
  HRESULT Remove(LONG index);
  HRESULT Clear();
};
