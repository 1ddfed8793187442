#include "engine/CapicomSignedCode.h"

using namespace kx::engine;

CCapicomSignedCode::CCapicomSignedCode() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomSignedCode::Create() { return CreateHeld<ISignedCode>(CLSID_SignedCode, m_p); }

CBstrString CCapicomSignedCode::GetFileName() const {
  return ReadString(GetInterfacePtr(), &ISignedCode::get_FileName);
}
void CCapicomSignedCode::PutFileName(const char* path) {
  if (ISignedCode* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_FileName(ToBstr(path))); });
}
CBstrString CCapicomSignedCode::GetDescription() const {
  return ReadString(GetInterfacePtr(), &ISignedCode::get_Description);
}
void CCapicomSignedCode::PutDescription(const char* text) {
  if (ISignedCode* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Description(ToBstr(text))); });
}
CBstrString CCapicomSignedCode::GetDescriptionURL() const {
  return ReadString(GetInterfacePtr(), &ISignedCode::get_DescriptionURL);
}
void CCapicomSignedCode::PutDescriptionURL(const char* url) {
  if (ISignedCode* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_DescriptionURL(ToBstr(url))); });
}

CCapicomSigner CCapicomSignedCode::GetSigner() const {
  CCapicomSigner out(kEmpty);
  return ReadInto(out, GetInterfacePtr(), &ISignedCode::get_Signer);
}
CCapicomSigner CCapicomSignedCode::GetTimeStamper() const {
  CCapicomSigner out(kEmpty);
  return ReadInto(out, GetInterfacePtr(), &ISignedCode::get_TimeStamper);
}
CCapicomCertificates CCapicomSignedCode::GetCertificates() const {
  CCapicomCertificates out(kEmpty);
  return ReadInto(out, GetInterfacePtr(), &ISignedCode::get_Certificates);
}

HRESULT CCapicomSignedCode::Sign(const CCapicomSigner& signer) {
  return CallResult(GetInterfacePtr(), [&](ISignedCode* p) { return p->Sign(signer.GetInterfacePtr()); });
}
HRESULT CCapicomSignedCode::Timestamp(const char* url) {
  return CallResult(GetInterfacePtr(), [&](ISignedCode* p) { return p->Timestamp(ToBstr(url)); });
}
HRESULT CCapicomSignedCode::Verify(bool allowUserInterface) {
  return CallResult(GetInterfacePtr(),
                    [&](ISignedCode* p) { return p->Verify(allowUserInterface ? VARIANT_TRUE : VARIANT_FALSE); });
}
