#include "engine/CapicomExtensions.h"

using namespace kx::engine;

HRESULT CCapicomKeyUsage::Create() { return CreateHeld<IKeyUsage>(CLSID_KeyUsage, m_p); }
bool CCapicomKeyUsage::GetIsPresent() const { return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsPresent); }
bool CCapicomKeyUsage::GetIsCritical() const { return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsCritical); }
bool CCapicomKeyUsage::GetIsDigitalSignatureEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsDigitalSignatureEnabled);
}
bool CCapicomKeyUsage::GetIsNonRepudiationEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsNonRepudiationEnabled);
}
bool CCapicomKeyUsage::GetIsKeyEnciphermentEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsKeyEnciphermentEnabled);
}
bool CCapicomKeyUsage::GetIsDataEnciphermentEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsDataEnciphermentEnabled);
}
bool CCapicomKeyUsage::GetIsKeyAgreementEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsKeyAgreementEnabled);
}
bool CCapicomKeyUsage::GetIsKeyCertSignEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsKeyCertSignEnabled);
}
bool CCapicomKeyUsage::GetIsCRLSignEnabled() const { return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsCRLSignEnabled); }
bool CCapicomKeyUsage::GetIsEncipherOnlyEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsEncipherOnlyEnabled);
}
bool CCapicomKeyUsage::GetIsDecipherOnlyEnabled() const {
  return ReadBool(GetInterfacePtr(), &IKeyUsage::get_IsDecipherOnlyEnabled);
}

HRESULT CCapicomExtendedKeyUsage::Create() { return CreateHeld<IExtendedKeyUsage>(CLSID_ExtendedKeyUsage, m_p); }
bool CCapicomExtendedKeyUsage::GetIsPresent() const {
  return ReadBool(GetInterfacePtr(), &IExtendedKeyUsage::get_IsPresent);
}
bool CCapicomExtendedKeyUsage::GetIsCritical() const {
  return ReadBool(GetInterfacePtr(), &IExtendedKeyUsage::get_IsCritical);
}
CCapicomEKUs CCapicomExtendedKeyUsage::GetEKUs() const {
  CCapicomEKUs list;
  return ReadInto(list, GetInterfacePtr(), &IExtendedKeyUsage::get_EKUs);
}

CCapicomEKU::CCapicomEKU() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomEKU::Create() { return CreateHeld<IEKU>(CLSID_EKU, m_p); }
LONG CCapicomEKU::GetName() const { return ReadLong(GetInterfacePtr(), &IEKU::get_Name); }
void CCapicomEKU::PutName(LONG name) {
  if (IEKU* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Name(name)); });
}
bool CCapicomEKU::GetOID(CBstrString& oid) const {
  IEKU* p = GetInterfacePtr();
  if (!p) return false;
  oid = ReadString(p, &IEKU::get_OID);
  return true;
}
void CCapicomEKU::PutOID(const CBstrString& oid) {
  if (IEKU* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_OID(oid.GetBSTR())); });
}

CCapicomEKUs::CCapicomEKUs() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomEKUs::Create() { return CreateHeld<IEKUs>(CLSID_EKUs, m_p); }
LONG CCapicomEKUs::GetCount() const { return ReadLong(GetInterfacePtr(), &IEKUs::get_Count); }
CCapicomEKU CCapicomEKUs::GetItem(LONG index) const {
  CCapicomEKU item;
  if (IEKUs* p = GetInterfacePtr()) {
    Rethrow([&] {
      _variant_t v;
      Check(p->get_Item(index, &v));
      item.SetInterface(ItemInterface<IEKU>(v).GetInterfacePtr());
    });
  }
  return item;
}

HRESULT CCapicomBasicConstraints::Create() { return CreateHeld<IBasicConstraints>(CLSID_BasicConstraints, m_p); }
bool CCapicomBasicConstraints::GetIsPresent() const {
  return ReadBool(GetInterfacePtr(), &IBasicConstraints::get_IsPresent);
}
bool CCapicomBasicConstraints::GetIsCritical() const {
  return ReadBool(GetInterfacePtr(), &IBasicConstraints::get_IsCritical);
}
bool CCapicomBasicConstraints::GetIsCertificateAuthority() const {
  return ReadBool(GetInterfacePtr(), &IBasicConstraints::get_IsCertificateAuthority);
}
bool CCapicomBasicConstraints::GetIsPathLenConstraintPresent() const {
  return ReadBool(GetInterfacePtr(), &IBasicConstraints::get_IsPathLenConstraintPresent);
}
LONG CCapicomBasicConstraints::GetPathLenConstraint() const {
  return ReadLong(GetInterfacePtr(), &IBasicConstraints::get_PathLenConstraint);
}

CBstrString CCapicomEncodedData::GetValue(LONG encoding) const {
  IEncodedData* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->get_Value(encoding, &v));
    return CBstrString(v, false);
  });
}

CBstrString CCapicomEncodedData::Format(VARIANT_BOOL multiLine) const {
  IEncodedData* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->Format(multiLine, &v));
    return CBstrString(v, false);
  });
}
