#include "engine/CapicomSettings.h"

using namespace kx::engine;

CCapicomSettings::CCapicomSettings() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomSettings::Create() { return CreateHeld<ISettings>(CLSID_Settings, m_p); }
bool CCapicomSettings::GetEnablePromptForCertificateUI() const {
  return ReadBool(GetInterfacePtr(), &ISettings::get_EnablePromptForCertificateUI);
}
void CCapicomSettings::PutEnablePromptForCertificateUI(bool enable) {
  if (ISettings* p = GetInterfacePtr())
    Rethrow([&] { Check(p->put_EnablePromptForCertificateUI(enable ? VARIANT_TRUE : VARIANT_FALSE)); });
}
LONG CCapicomSettings::GetActiveDirectorySearchLocation() const {
  return ReadLong(GetInterfacePtr(), &ISettings::get_ActiveDirectorySearchLocation);
}
void CCapicomSettings::PutActiveDirectorySearchLocation(LONG location) {
  if (ISettings* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_ActiveDirectorySearchLocation(location)); });
}

CCapicomOID::CCapicomOID() {
  Rethrow([] {});
}
HRESULT CCapicomOID::Create() { return CreateHeld<IOID>(CLSID_OID, m_p); }
LONG CCapicomOID::GetName() const { return ReadLong(GetInterfacePtr(), &IOID::get_Name); }
void CCapicomOID::PutName(LONG name) {
  if (IOID* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Name(name)); });
}
CBstrString CCapicomOID::GetFriendlyName() const { return ReadString(GetInterfacePtr(), &IOID::get_FriendlyName); }
void CCapicomOID::PutFriendlyName(const char* name) {
  if (IOID* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_FriendlyName(ToBstr(name))); });
}
CBstrString CCapicomOID::GetValue() const { return ReadString(GetInterfacePtr(), &IOID::get_Value); }
void CCapicomOID::PutValue(const char* value) {
  if (IOID* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Value(ToBstr(value))); });
}

CCapicomOIDs::CCapicomOIDs() {
  Rethrow([] {});
}
HRESULT CCapicomOIDs::Create() { return CreateHeld<IOIDs>(CLSID_OIDs, m_p); }
LONG CCapicomOIDs::GetCount() const { return ReadLong(GetInterfacePtr(), &IOIDs::get_Count); }
CCapicomOID CCapicomOIDs::GetItem(LONG index) const {
  CCapicomOID item;
  if (IOIDs* p = GetInterfacePtr()) {
    Rethrow([&] {
      _variant_t v;
      Check(p->get_Item(_variant_t(index), &v));
      item.SetInterface(ItemInterface<IOID>(v).GetInterfacePtr());
    });
  }
  return item;
}
HRESULT CCapicomOIDs::Add(const CCapicomOID& oid) {
  return CallResult(GetInterfacePtr(), [&](IOIDs* p) { return p->Add(oid.GetInterfacePtr()); });
}
HRESULT CCapicomOIDs::Remove(LONG index) {
  return CallResult(GetInterfacePtr(), [&](IOIDs* p) { return p->Remove(_variant_t(index)); });
}
HRESULT CCapicomOIDs::Clear() {
  return CallResult(GetInterfacePtr(), [](IOIDs* p) { return p->Clear(); });
}
