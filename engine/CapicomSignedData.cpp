#include "engine/CapicomSignedData.h"

#include "engine/CapicomMessage.h"

using namespace kx::engine;

CCapicomSignedData::CCapicomSignedData() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomSignedData::Create() { return CreateHeld<ISignedData>(CLSID_SignedData, m_p); }

void CCapicomSignedData::PutContent(BSTR content) {
  if (ISignedData* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Content(content)); });
}
void CCapicomSignedData::PutContentFromBuffer(const CByteBuffer& content) {
  PutBinaryContent(GetInterfacePtr(), content);
}
bool CCapicomSignedData::GetContentToBuffer(CByteBuffer& out) const {
  return GetBinaryContent(GetInterfacePtr(), out);
}
CBstrString CCapicomSignedData::GetContent() const {
  return ReadString(GetInterfacePtr(), &ISignedData::get_Content);
}

CCapicomSigners CCapicomSignedData::GetSigners() const {
  CCapicomSigners out;
  return ReadInto(out, GetInterfacePtr(), &ISignedData::get_Signers);
}
CCapicomCertificates CCapicomSignedData::GetCertificates() const {
  CCapicomCertificates out(kEmpty);
  return ReadInto(out, GetInterfacePtr(), &ISignedData::get_Certificates);
}

bool CCapicomSignedData::SignToBuffer(const CCapicomSigner& signer, bool detached, LONG encoding, CByteBuffer& out,
                                      HRESULT& result, CBstrString& errorText) {
  out.Free(out.IsWiped());
  ISignedData* p = GetInterfacePtr();
  if (!p || !signer.GetInterfacePtr()) return false;
  try {
    BSTR message = nullptr;
    HRESULT hr = p->Sign(signer.GetInterfacePtr(), detached ? VARIANT_TRUE : VARIANT_FALSE, encoding, &message);
    if (FAILED(hr)) {
      SysFreeString(message);
      result = hr;
      _com_issue_errorex(hr, p, IID_ISignedData);  // carries the engine's description
    }
    return TakeBinary(message, out);
  } catch (const _com_error& e) {
    result = e.Error();
    errorText = e.Description();
    return false;
  }
}

bool CCapicomSignedData::Sign(bool detached, LONG encoding, CByteBuffer& out) {
  out.Free(out.IsWiped());
  ISignedData* p = GetInterfacePtr();
  if (!p) return false;
  return Rethrow([&] {
    return TakeBinary(ProducedBstr([&](BSTR* m) { return p->Sign(nullptr, detached ? VARIANT_TRUE : VARIANT_FALSE, encoding, m); }), out);
  });
}

bool CCapicomSignedData::CoSign(const CCapicomSigner& signer, LONG encoding, CByteBuffer& out) {
  out.Free(out.IsWiped());
  ISignedData* p = GetInterfacePtr();
  if (!p || !signer.GetInterfacePtr()) return false;
  return Rethrow([&] {
    return TakeBinary(ProducedBstr([&](BSTR* m) { return p->CoSign(signer.GetInterfacePtr(), encoding, m); }), out);
  });
}

HRESULT CCapicomSignedData::Verify(const CByteBuffer& message, bool detached, LONG verifyFlag) {
  ISignedData* p = GetInterfacePtr();
  BSTR bytes = ToBinaryBstr(message);  // none for an empty buffer
  HRESULT hr = E_FAIL;
  if (p) hr = p->Verify(bytes, detached ? VARIANT_TRUE : VARIANT_FALSE, verifyFlag);
  SysFreeString(bytes);
  return hr;
}
