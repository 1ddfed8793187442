#include "engine/CapicomCertificate.h"

#include "core/SafeArray.h"
#include "engine/CapicomExtensions.h"
#include "engine/CapicomParts.h"
#include "engine/CapicomStore.h"

using namespace kx::engine;

CCapicomCertificate::CCapicomCertificate() {
  Rethrow([&] { Create(); });
}

CCapicomCertificate::CCapicomCertificate(kx::engine::EmptyTag) {}

CCapicomCertificate::CCapicomCertificate(const CCapicomCertificate& other) : CCapicomObject() { *this = other; }

CCapicomCertificate& CCapicomCertificate::operator=(const CCapicomCertificate& other) {
  if (other.m_p) {
    m_p = other.m_p;
    m_nTag = other.m_nTag;
  } else {
    m_p = nullptr;
  }
  return *this;
}

CCapicomCertificate::~CCapicomCertificate() {
  m_nTag = -1;
  ReleaseHeld();
}

HRESULT CCapicomCertificate::Create() { return CreateHeld<ICertificate2, ICertificate>(CLSID_Certificate, m_p); }

LONG CCapicomCertificate::GetVersion() const { return ReadLong(GetInterfacePtr(), &ICertificate2::get_Version); }
CBstrString CCapicomCertificate::GetSerialNumber() const {
  return ReadString(GetInterfacePtr(), &ICertificate2::get_SerialNumber);
}
CBstrString CCapicomCertificate::GetSubjectName() const {
  return ReadString(GetInterfacePtr(), &ICertificate2::get_SubjectName);
}
CBstrString CCapicomCertificate::GetIssuerName() const {
  return ReadString(GetInterfacePtr(), &ICertificate2::get_IssuerName);
}
CDateTime CCapicomCertificate::GetValidFromDate() const {
  return ReadDate(GetInterfacePtr(), &ICertificate2::get_ValidFromDate);
}
CDateTime CCapicomCertificate::GetValidToDate() const {
  return ReadDate(GetInterfacePtr(), &ICertificate2::get_ValidToDate);
}
CBstrString CCapicomCertificate::GetThumbprint() const {
  return ReadString(GetInterfacePtr(), &ICertificate2::get_Thumbprint);
}
bool CCapicomCertificate::HasPrivateKey() const { return ReadBool(GetInterfacePtr(), &ICertificate2::HasPrivateKey); }

CBstrString CCapicomCertificate::GetInfo(LONG infoType) const {
  ICertificate2* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    HRESULT hr = p->GetInfo(infoType, &v);
    if (FAILED(hr)) {
      SysFreeString(v);
      Raise(hr);
    }
    return CBstrString(v, false);
  });
}

CCapicomCertificateStatus CCapicomCertificate::IsValid() const {
  CCapicomCertificateStatus status;
  return ReadInto(status, GetInterfacePtr(), &ICertificate2::IsValid);
}
CCapicomKeyUsage CCapicomCertificate::KeyUsage() const {
  CCapicomKeyUsage w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::KeyUsage);
}
CCapicomExtendedKeyUsage CCapicomCertificate::ExtendedKeyUsage() const {
  CCapicomExtendedKeyUsage w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::ExtendedKeyUsage);
}
CCapicomBasicConstraints CCapicomCertificate::BasicConstraints() const {
  CCapicomBasicConstraints w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::BasicConstraints);
}

CBstrString CCapicomCertificate::ExportToString(LONG encoding) const {
  ICertificate2* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->Export(encoding, &v));
    return CBstrString(v, false);
  });
}

HRESULT CCapicomCertificate::ImportFromString(const CBstrString& encoded) {
  return CallResult(GetInterfacePtr(), [&](ICertificate2* p) { return p->Import(encoded.GetBSTR()); });
}

CByteBuffer CCapicomCertificate::ExportToBuffer(LONG encoding) const {
  ICertificate2* p = GetInterfacePtr();
  if (!p) return CByteBuffer();
  return Rethrow([&] {
    BSTR v = nullptr;
    Check(p->Export(encoding, &v));
    CByteBuffer out = FromBinaryBstr(v);
    SysFreeString(v);
    return out;
  });
}

HRESULT CCapicomCertificate::ImportFromBuffer(const CByteBuffer& buffer) {
  if (buffer.GetLength() == 0) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](ICertificate2* p) {
    _bstr_t data(ToBinaryBstr(buffer), false);
    return p->Import(static_cast<BSTR>(data));
  });
}

VARIANT* CCapicomCertificate::ExportToSafeArray(VARIANT* out, LONG encoding) const {
  CSafeArray array;
  array.SetByteBuffer(ExportToBuffer(encoding));
  array.Detach(out);
  return out;
}

HRESULT CCapicomCertificate::ImportFromSafeArray(const VARIANT& array) {
  if (!GetInterfacePtr()) return E_FAIL;
  CSafeArray copy(array);
  return ImportFromBuffer(copy.GetByteBuffer());
}

HRESULT CCapicomCertificate::Display() {
  return CallResult(GetInterfacePtr(), [](ICertificate2* p) { return p->Display(); });
}

bool CCapicomCertificate::GetArchived() const {
  return ReadBool(GetInterfacePtr(), &ICertificate2::get_Archived, true);
}

void CCapicomCertificate::PutArchived(bool archived) {
  if (ICertificate2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Archived(archived ? VARIANT_TRUE : VARIANT_FALSE)); });
}

CCapicomTemplate CCapicomCertificate::Template() const {
  CCapicomTemplate w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::Template);
}
CCapicomPublicKey CCapicomCertificate::PublicKey() const {
  CCapicomPublicKey w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::PublicKey);
}

CCapicomPrivateKey CCapicomCertificate::GetPrivateKey() const {
  CCapicomPrivateKey w;
  try {
    ReadInto(w, GetInterfacePtr(), &ICertificate2::get_PrivateKey);
  } catch (const _com_error&) {
    w = CCapicomPrivateKey();
  }
  return w;
}

void CCapicomCertificate::PutPrivateKey(const CCapicomPrivateKey& key) {
  if (ICertificate2* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_PrivateKey(key.GetInterfacePtr())); });
}

CCapicomExtensions CCapicomCertificate::Extensions() const {
  CCapicomExtensions w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::Extensions);
}
CCapicomExtendedProperties CCapicomCertificate::ExtendedProperties() const {
  CCapicomExtendedProperties w;
  return ReadInto(w, GetInterfacePtr(), &ICertificate2::ExtendedProperties);
}

HRESULT CCapicomCertificate::Load(const char* fileName, const char* password, LONG keyStorageFlag, LONG keyLocation) {
  ICertificate2* p = GetInterfacePtr();
  if (!p) return E_FAIL;
  try {
    _bstr_t file = ToBstr(fileName), pass = ToBstr(password);
    return p->Load(file, pass, keyStorageFlag, keyLocation);
  } catch (const _com_error& e) {
    return e.Error();
  }
}

HRESULT CCapicomCertificate::Save(const char* fileName, const char* password, LONG saveAs, LONG includeOption) {
  return CallResult(GetInterfacePtr(), [&](ICertificate2* p) {
    _bstr_t file = ToBstr(fileName), pass = ToBstr(password);
    return p->Save(file, pass, saveAs, includeOption);
  });
}

bool CCapicomCertificate::IsEqual(const CCapicomCertificate& other) const {
  // An empty wrapper on either side ends the comparison, as any engine error does.
  if (!other.GetInterfacePtr() || !GetInterfacePtr()) return false;
  try {
    auto sameText = [](const CBstrString& a, const CBstrString& b) {
      UINT n = a.GetLength();
      if (n != b.GetLength()) return false;
      for (UINT i = 0; i < n; ++i)
        if (a.GetBSTR()[i] != b.GetBSTR()[i]) return false;
      return true;
    };
    return sameText(GetIssuerName(), other.GetIssuerName()) &&
           sameText(GetSerialNumber(), other.GetSerialNumber()) &&
           sameText(GetSubjectName(), other.GetSubjectName()) &&
           sameText(GetThumbprint(), other.GetThumbprint()) &&
           GetValidFromDate().GetDate() == other.GetValidFromDate().GetDate() &&
           GetValidToDate().GetDate() == other.GetValidToDate().GetDate() && GetVersion() == other.GetVersion();
  } catch (const _com_error&) {
    return false;
  }
}
