#include "engine/CapicomEnvelopedData.h"

#include "engine/CapicomMessage.h"

using namespace kx::engine;

CCapicomEnvelopedData::CCapicomEnvelopedData() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomEnvelopedData::Create() { return CreateHeld<IEnvelopedData>(CLSID_EnvelopedData, m_p); }

void CCapicomEnvelopedData::PutContent(BSTR content) {
  if (IEnvelopedData* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Content(content)); });
}
void CCapicomEnvelopedData::PutContentFromBuffer(const CByteBuffer& content) {
  PutBinaryContent(GetInterfacePtr(), content);
}
bool CCapicomEnvelopedData::GetContentToBuffer(CByteBuffer& out) const {
  return GetBinaryContent(GetInterfacePtr(), out);
}
CBstrString CCapicomEnvelopedData::GetContent() const {
  return ReadString(GetInterfacePtr(), &IEnvelopedData::get_Content);
}

CCapicomAlgorithm CCapicomEnvelopedData::GetAlgorithm() const {
  CCapicomAlgorithm out;
  return ReadInto(out, GetInterfacePtr(), &IEnvelopedData::get_Algorithm);
}
CCapicomRecipients CCapicomEnvelopedData::GetRecipients() const {
  CCapicomRecipients out(kEmpty);
  return ReadInto(out, GetInterfacePtr(), &IEnvelopedData::get_Recipients);
}

CBstrString CCapicomEnvelopedData::Encrypt(LONG encoding) {
  IEnvelopedData* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] { return CBstrString(ProducedBstr([&](BSTR* m) { return p->Encrypt(encoding, m); }), false); });
}

bool CCapicomEnvelopedData::EncryptToBuffer(LONG encoding, CByteBuffer& out, bool forceDes) {
  out.Free(out.IsWiped());
  IEnvelopedData* p = GetInterfacePtr();
  if (!p) return false;
  if (forceDes) {
    CCapicomAlgorithm algorithm = GetAlgorithm();
    const LONG chosen = algorithm.GetName();
    if (chosen != CAPICOM_ENCRYPTION_ALGORITHM_3DES && chosen != CAPICOM_ENCRYPTION_ALGORITHM_AES) {
      algorithm.PutName(CAPICOM_ENCRYPTION_ALGORITHM_DES);
      GetAlgorithm().PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_56_BITS);
    }
  }
  return Rethrow([&] { return TakeBinary(ProducedBstr([&](BSTR* m) { return p->Encrypt(encoding, m); }), out); });
}

HRESULT CCapicomEnvelopedData::Decrypt(BSTR message) {
  IEnvelopedData* p = GetInterfacePtr();
  return p ? p->Decrypt(message) : E_FAIL;
}
