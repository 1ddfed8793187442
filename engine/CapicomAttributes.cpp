#include "engine/CapicomAttributes.h"

using namespace kx::engine;

CCapicomAlgorithm::CCapicomAlgorithm() {
  Rethrow([] {});
}
HRESULT CCapicomAlgorithm::Create() { return CreateHeld<IAlgorithm>(CLSID_Algorithm, m_p); }
LONG CCapicomAlgorithm::GetName() const { return ReadLong(GetInterfacePtr(), &IAlgorithm::get_Name); }
void CCapicomAlgorithm::PutName(LONG name) {
  if (IAlgorithm* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Name(name)); });
}
LONG CCapicomAlgorithm::GetKeyLength() const { return ReadLong(GetInterfacePtr(), &IAlgorithm::get_KeyLength); }
void CCapicomAlgorithm::PutKeyLength(LONG keyLength) {
  if (IAlgorithm* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_KeyLength(keyLength)); });
}

CCapicomAttribute::CCapicomAttribute() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomAttribute::Create() { return CreateHeld<IAttribute>(CLSID_Attribute, m_p); }
LONG CCapicomAttribute::GetName() const { return ReadLong(GetInterfacePtr(), &IAttribute::get_Name); }
void CCapicomAttribute::PutName(LONG name) {
  if (IAttribute* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Name(name)); });
}

VARIANT* CCapicomAttribute::GetValue(VARIANT* out) const {
  VariantClear(out);
  if (IAttribute* p = GetInterfacePtr()) Rethrow([&] { Check(p->get_Value(out)); });
  return out;
}

bool CCapicomAttribute::GetValueString(CBstrString& out) const {
  IAttribute* p = GetInterfacePtr();
  if (!p) return false;
  return Rethrow([&] {
    _variant_t v;
    Check(p->get_Value(&v));
    v.ChangeType(VT_BSTR);
    out = CBstrString(v.bstrVal, true);
    return true;
  });
}

bool CCapicomAttribute::GetValueDate(CDateTime& out) const {
  IAttribute* p = GetInterfacePtr();
  if (!p) return false;
  return Rethrow([&] {
    _variant_t v;
    Check(p->get_Value(&v));
    out = CDateTime(static_cast<const VARIANT&>(v));
    return true;
  });
}

void CCapicomAttribute::PutValue(const VARIANT& value) {
  if (IAttribute* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Value(value)); });
}

void CCapicomAttribute::PutValueString(const char* value) {
  if (IAttribute* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Value(_variant_t(value ? value : ""))); });
}

void CCapicomAttribute::PutValueDate(const CDateTime& value) {
  if (IAttribute* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Value(_variant_t(value.GetDate(), VT_DATE))); });
}

CCapicomAttributes::CCapicomAttributes() {
  Rethrow([] {});
}
HRESULT CCapicomAttributes::Create() { return CreateHeld<IAttributes>(CLSID_Attributes, m_p); }
LONG CCapicomAttributes::GetCount() const { return ReadLong(GetInterfacePtr(), &IAttributes::get_Count); }

CCapicomAttribute CCapicomAttributes::GetItem(LONG index) const {
  CCapicomAttribute item;
  Rethrow([&] {
    IAttributes* p = GetInterfacePtr();
    if (!p) Raise(E_POINTER);
    _variant_t v;
    Check(p->get_Item(index, &v));
    item.SetInterface(ItemInterface<IAttribute>(v).GetInterfacePtr());
  });
  return item;
}

HRESULT CCapicomAttributes::Add(const CCapicomAttribute& attribute) {
  return CallResult(GetInterfacePtr(), [&](IAttributes* p) { return p->Add(attribute.GetInterfacePtr()); });
}
HRESULT CCapicomAttributes::Remove(LONG index) {
  return CallResult(GetInterfacePtr(), [&](IAttributes* p) { return p->Remove(index); });
}
HRESULT CCapicomAttributes::Clear() {
  return CallResult(GetInterfacePtr(), [](IAttributes* p) { return p->Clear(); });
}
