#include "engine/CapicomParts.h"

#include "engine/CapicomExtensions.h"
#include "engine/CapicomSettings.h"

using namespace kx::engine;

namespace {

// Engine flags of these parts count when their low 16 bits are not zero.
template <class I, class M>
bool ReadFlag(I* p, M method) {
  if (!p) return false;
  return Rethrow([&] {
    VARIANT_BOOL v = VARIANT_FALSE;
    Check((p->*method)(&v));
    return (static_cast<uint16_t>(v)) != 0;
  });
}

// The fill rule of the out wrappers: a new wrapper holding the engine's object, copied to the caller's.
template <class W, class P, class I, class Q>
W& FillOut(W& out, P* p, HRESULT (STDMETHODCALLTYPE I::*method)(Q**)) {
  W w;
  out = ReadInto(w, p, method);
  return out;
}

}  // namespace

CBstrString CCapicomPrivateKey::GetContainerName() const {
  return ReadString(GetInterfacePtr(), &IPrivateKey::get_ContainerName);
}
CBstrString CCapicomPrivateKey::GetUniqueContainerName() const {
  return ReadString(GetInterfacePtr(), &IPrivateKey::get_UniqueContainerName);
}
CBstrString CCapicomPrivateKey::GetProviderName() const {
  return ReadString(GetInterfacePtr(), &IPrivateKey::get_ProviderName);
}
LONG CCapicomPrivateKey::GetProviderType() const { return ReadLong(GetInterfacePtr(), &IPrivateKey::get_ProviderType); }
LONG CCapicomPrivateKey::GetKeySpec() const { return ReadLong(GetInterfacePtr(), &IPrivateKey::get_KeySpec); }
bool CCapicomPrivateKey::IsAccessible() const { return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsAccessible); }
bool CCapicomPrivateKey::IsProtected() const { return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsProtected); }
bool CCapicomPrivateKey::IsExportable() const { return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsExportable); }
bool CCapicomPrivateKey::IsRemovable() const {
  try {
    return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsRemovable);
  } catch (const _com_error&) {
    return false;
  }
}
bool CCapicomPrivateKey::IsMachineKeyset() const { return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsMachineKeyset); }
bool CCapicomPrivateKey::IsHardwareDevice() const {
  return ReadFlag(GetInterfacePtr(), &IPrivateKey::IsHardwareDevice);
}
HRESULT CCapicomPrivateKey::Open(const char* containerName, const char* providerName, LONG providerType, LONG keySpec,
                                 LONG storeLocation, bool checkExistence) {
  return CallResult(GetInterfacePtr(), [&](IPrivateKey* p) {
    _bstr_t container = ToBstr(containerName), provider = ToBstr(providerName);
    return p->Open(container, provider, providerType, keySpec, storeLocation,
                   checkExistence ? VARIANT_TRUE : VARIANT_FALSE);
  });
}
HRESULT CCapicomPrivateKey::Delete() {
  return CallResult(GetInterfacePtr(), [](IPrivateKey* p) { return p->Delete(); });
}

CCapicomOID& CCapicomPublicKey::GetAlgorithm(CCapicomOID& out) const {
  return FillOut(out, GetInterfacePtr(), &IPublicKey::get_Algorithm);
}
LONG CCapicomPublicKey::GetLength() const { return ReadLong(GetInterfacePtr(), &IPublicKey::get_Length); }
CCapicomEncodedData& CCapicomPublicKey::GetEncodedKey(CCapicomEncodedData& out) const {
  return FillOut(out, GetInterfacePtr(), &IPublicKey::get_EncodedKey);
}
CCapicomEncodedData& CCapicomPublicKey::GetEncodedParameters(CCapicomEncodedData& out) const {
  return FillOut(out, GetInterfacePtr(), &IPublicKey::get_EncodedParameters);
}

bool CCapicomTemplate::GetIsPresent() const { return ReadFlag(GetInterfacePtr(), &ITemplate::get_IsPresent); }
bool CCapicomTemplate::GetIsCritical() const { return ReadFlag(GetInterfacePtr(), &ITemplate::get_IsCritical); }
CBstrString CCapicomTemplate::GetName() const { return ReadString(GetInterfacePtr(), &ITemplate::get_Name); }
CCapicomOID& CCapicomTemplate::GetOID(CCapicomOID& out) const {
  return FillOut(out, GetInterfacePtr(), &ITemplate::get_OID);
}
LONG CCapicomTemplate::GetMajorVersion() const { return ReadLong(GetInterfacePtr(), &ITemplate::get_MajorVersion); }
LONG CCapicomTemplate::GetMinorVersion() const { return ReadLong(GetInterfacePtr(), &ITemplate::get_MinorVersion); }

CCapicomUtilities::CCapicomUtilities() {
  Rethrow([&] { Create(); });
}
HRESULT CCapicomUtilities::Create() { return CreateHeld<IUtilities>(CLSID_Utilities, m_p); }
