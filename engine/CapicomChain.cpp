#include "engine/CapicomChain.h"

using namespace kx::engine;

CCapicomChain::CCapicomChain() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomChain::Create() { return CreateHeld<IChain2>(CLSID_Chain, m_p); }

bool CCapicomChain::Build(const CCapicomCertificate& certificate) {
  IChain2* p = GetInterfacePtr();
  if (!p || !certificate.GetInterfacePtr()) return false;
  return Rethrow([&] {
    VARIANT_BOOL ok = VARIANT_FALSE;
    Check(p->Build(certificate.GetInterfacePtr(), &ok));
    return (ok & 0xFFFF) != 0;
  });
}

CCapicomCertificates CCapicomChain::GetCertificates() const {
  CCapicomCertificates list(kx::engine::kEmpty);
  return ReadInto(list, GetInterfacePtr(), &IChain2::get_Certificates);
}

LONG CCapicomChain::GetStatus(LONG index) const {
  IChain2* p = GetInterfacePtr();
  if (!p) return 0;
  return Rethrow([&] {
    LONG v = 0;
    Check(p->get_Status(index, &v));
    return v;
  });
}

CBstrString CCapicomChain::ExtendedErrorInfo(LONG index) const {
  IChain2* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->ExtendedErrorInfo(index, &v));
    return CBstrString(v, false);
  });
}
