#include "engine/CapicomStore.h"

#include "engine/CapicomExtensions.h"

using namespace kx::engine;

CCapicomStore::CCapicomStore() {
  Rethrow([&] { Create(); });
}

HRESULT CCapicomStore::Create() { return CreateHeld<IStore2, IStore>(CLSID_Store, m_p); }

HRESULT CCapicomStore::Open(LONG location, const char* name, LONG mode) {
  HRESULT hr = E_FAIL;
  if (IStore2* p = GetInterfacePtr()) {
    _bstr_t n(name ? name : "MY");
    // The engine's code, whatever it is: callers test it and show their own messages.
    BSTR copy = n.copy(true);
    hr = p->Open(location, copy, mode);
    SysFreeString(copy);
  }
  return hr;
}

CCapicomCertificates CCapicomStore::GetCertificates() const {
  CCapicomCertificates list;
  try {
    ReadInto(list, GetInterfacePtr(), &IStore2::get_Certificates);
  } catch (const _com_error&) {
    // A store that cannot list gives an empty collection.
  }
  return list;
}

HRESULT CCapicomStore::Add(const CCapicomCertificate& certificate) {
  if (!certificate.GetInterfacePtr()) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](IStore2* p) { return p->Add(certificate.GetInterfacePtr()); });
}

HRESULT CCapicomStore::Remove(const CCapicomCertificate& certificate) {
  return CallResult(GetInterfacePtr(), [&](IStore2* p) { return p->Remove(certificate.GetInterfacePtr()); });
}

bool CCapicomStore::ExportToBuffer(LONG saveAs, LONG encoding, CByteBuffer& out) const {
  out.Free(out.IsWiped());
  IStore2* p = GetInterfacePtr();
  if (!p) return false;
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->Export(saveAs, encoding, &v));
    out = FromBinaryBstr(v);
    SysFreeString(v);
    return out.GetLength() > 0;
  });
}

HRESULT CCapicomStore::ImportFromBuffer(const CByteBuffer& buffer) {
  if (buffer.GetLength() == 0) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](IStore2* p) {
    _bstr_t data(ToBinaryBstr(buffer), false);
    return p->Import(static_cast<BSTR>(data));
  });
}

HRESULT CCapicomStore::Load(const char* fileName, const char* password, LONG keyStorageFlag) {
  return CallResult(GetInterfacePtr(), [&](IStore2* p) {
    _bstr_t file = ToBstr(fileName), pass = ToBstr(password);
    return p->Load(file, pass, keyStorageFlag);
  });
}

CCapicomCertificateStatus::CCapicomCertificateStatus() {
  Rethrow([] {});
}

HRESULT CCapicomCertificateStatus::Create() {
  return CreateHeld<ICertificateStatus2, ICertificateStatus>(CLSID_CertificateStatus, m_p);
}

bool CCapicomCertificateStatus::GetResult() const {
  return ReadBool(GetInterfacePtr(), &ICertificateStatus2::get_Result, true);
}
LONG CCapicomCertificateStatus::GetCheckFlag() const {
  return ReadLong(GetInterfacePtr(), &ICertificateStatus2::get_CheckFlag);
}
void CCapicomCertificateStatus::PutCheckFlag(LONG flags) {
  if (ICertificateStatus2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_CheckFlag(flags)); });
}
CCapicomEKU CCapicomCertificateStatus::EKU() const {
  CCapicomEKU eku;
  return ReadInto(eku, GetInterfacePtr(), &ICertificateStatus2::EKU);
}
CDateTime CCapicomCertificateStatus::GetVerificationTime() const {
  return ReadDate(GetInterfacePtr(), &ICertificateStatus2::get_VerificationTime);
}
void CCapicomCertificateStatus::PutVerificationTime(const CDateTime& time) {
  if (ICertificateStatus2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_VerificationTime(time.GetDate())); });
}
LONG CCapicomCertificateStatus::GetUrlRetrievalTimeout() const {
  return ReadLong(GetInterfacePtr(), &ICertificateStatus2::get_UrlRetrievalTimeout);
}
void CCapicomCertificateStatus::PutUrlRetrievalTimeout(LONG seconds) {
  if (ICertificateStatus2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_UrlRetrievalTimeout(seconds)); });
}
