#include "engine/CapicomSigner.h"

#include "core/SettingsStore.h"
#include "platform/win32/registry.h"

using namespace kx::engine;

namespace {

// The strict trust policy switch, read from the registry at every call (a missing value is 0).
bool StrictTrustPolicy() {
  DWORD value = 0;
  CSettingsStore store(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  store.ReadInt("Config", "DoD_JICT", &value, 0);
  return value != 0;
}

// An item of an engine collection put into a wrapper of the element's class.
template <class W, class C>
W CollectionItem(C* p, LONG index) {
  W item(kEmpty);
  if (!p) return item;
  Rethrow([&] {
    _variant_t v;
    Check(p->get_Item(index, &v));
    item.SetInterface(ItemInterface<typename W::HeldInterface>(v).GetInterfacePtr());
  });
  return item;
}

}  // namespace

CCapicomSigner::CCapicomSigner() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomSigner::Create() { return CreateHeld<ISigner2>(CLSID_Signer, m_p); }

CCapicomCertificate CCapicomSigner::GetCertificate() const {
  CCapicomCertificate out(kEmpty);
  ISigner2* p = GetInterfacePtr();
  if (!p) return out;
  Rethrow([&] {
    ICertificate* c = nullptr;
    Check(p->get_Certificate(&c));
    _com_ptr_t<ICertificate> owned(c, false);
    out.SetInterface(owned.GetInterfacePtr());
  });
  return out;
}

void CCapicomSigner::PutCertificate(const CCapicomCertificate& certificate) {
  const bool strict = StrictTrustPolicy();
  ISigner2* p = GetInterfacePtr();
  if (!p) return;
  Rethrow([&] {
    if (strict) Check(p->put_Options(CAPICOM_CERTIFICATE_INCLUDE_WHOLE_CHAIN));
    Check(p->put_Certificate(certificate.GetInterfacePtr()));
  });
}

CCapicomAttributes CCapicomSigner::GetAuthenticatedAttributes() const {
  CCapicomAttributes out;
  return ReadInto(out, GetInterfacePtr(), &ISigner::get_AuthenticatedAttributes);
}

CCapicomChain CCapicomSigner::GetChain() const {
  CCapicomChain out(kEmpty);
  ISigner2* p = GetInterfacePtr();
  if (!p) return out;
  Rethrow([&] {
    IChain* c = nullptr;
    Check(p->get_Chain(&c));
    _com_ptr_t<IChain> owned(c, false);
    out.SetInterface(owned.GetInterfacePtr());
  });
  return out;
}

LONG CCapicomSigner::GetOptions() const { return ReadLong(GetInterfacePtr(), &ISigner::get_Options); }
void CCapicomSigner::PutOptions(LONG option) {
  if (ISigner2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Options(option)); });
}

HRESULT CCapicomSigner::Load(const char* fileName, const char* password) {
  return CallResult(GetInterfacePtr(), [&](ISigner2* p) { return p->Load(ToBstr(fileName), ToBstr(password)); });
}

HRESULT CCapicomSigners::Create() { return CreateHeld<ISigners>(CLSID_Signers, m_p); }
LONG CCapicomSigners::GetCount() const { return ReadLong(GetInterfacePtr(), &ISigners::get_Count); }
CCapicomSigner CCapicomSigners::GetItem(LONG index) const {
  return CollectionItem<CCapicomSigner>(GetInterfacePtr(), index);
}

CCapicomRecipients::CCapicomRecipients() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomRecipients::Create() { return CreateHeld<IRecipients>(CLSID_Recipients, m_p); }
LONG CCapicomRecipients::GetCount() const { return ReadLong(GetInterfacePtr(), &IRecipients::get_Count); }
CCapicomCertificate CCapicomRecipients::GetItem(LONG index) const {
  return CollectionItem<CCapicomCertificate>(GetInterfacePtr(), index);
}
HRESULT CCapicomRecipients::Add(const CCapicomCertificate& certificate) {
  if (!certificate.GetInterfacePtr()) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](IRecipients* p) { return p->Add(certificate.GetInterfacePtr()); });
}
HRESULT CCapicomRecipients::Remove(LONG index) {
  return CallResult(GetInterfacePtr(), [&](IRecipients* p) { return p->Remove(index); });
}
HRESULT CCapicomRecipients::Clear() {
  return CallResult(GetInterfacePtr(), [](IRecipients* p) { return p->Clear(); });
}
