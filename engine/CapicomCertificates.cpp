#include "engine/CapicomCertificates.h"

using namespace kx::engine;

CCapicomCertificates::CCapicomCertificates() {
  Rethrow([&] { Create(); });
}

HRESULT CCapicomCertificates::Create() { return CreateHeld<ICertificates2>(CLSID_Certificates, m_p); }

LONG CCapicomCertificates::GetCount() const { return ReadLong(GetInterfacePtr(), &ICertificates2::get_Count); }

CCapicomCertificate CCapicomCertificates::GetItem(LONG index) const {
  CCapicomCertificate item;
  ICertificates2* p = GetInterfacePtr();
  if (p && index >= 0) {
    Rethrow([&] {
      _variant_t v;
      Check(p->get_Item(index, &v));
      item.SetInterface(ItemInterface<ICertificate2>(v).GetInterfacePtr());
    });
  }
  return item;
}

HRESULT CCapicomCertificates::Add(const CCapicomCertificate& certificate) {
  if (!certificate.GetInterfacePtr()) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](ICertificates2* p) { return p->Add(certificate.GetInterfacePtr()); });
}

CCapicomCertificate CCertificateList::GetAt(int index) const {
  if (index < 0 || index >= GetCount()) return CCapicomCertificate(kx::engine::kEmpty);
  return m_items[static_cast<size_t>(index)];
}
