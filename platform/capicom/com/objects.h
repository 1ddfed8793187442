// How the engine's objects reach each other inside the module: a certificate object's data, and factories of
// the objects that other objects hand out. Later classes (signers, messages, signed code) use these too.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/capicom/com/engine_object.h"
#include "platform/capicom/core/chain.h"
#include "platform/capicom/core/store.h"

namespace kx::capi {

// The certificate of a Certificate object with its key link and store properties. The object's status object
// shares it, so a later Import is seen by its status and chains.
struct CertHolder {
  mutable std::mutex mutex;
  StoreEntry entry;  // cert null until a certificate is imported or loaded

  StoreEntry Get() const {
    std::lock_guard<std::mutex> lock(mutex);
    return entry;
  }
};

// The certificate behind an interface of ours: false for a foreign object or one without a certificate.
bool EngineCertificate(IUnknown* p, StoreEntry& out);
// The chain parameters of a certificate object (its status object's settings); defaults for a foreign one.
ChainParams EngineStatusParams(IUnknown* p);

// Keeps the private key of an imported PFX in a key container of the user or the machine, exportable when the
// key storage flags say so, and gives the link to it.
HRESULT SaveImportedKey(EVP_PKEY* key, const CertData& cert, LONG keyStorageFlags, bool machine, KeyLink& link);

// The certificate of a PFX file with its key kept as above (main) and the file's other certificates.
HRESULT ReadPfxEntry(const Bytes& data, BSTR password, LONG keyStorageFlags, bool machine, StoreEntry& main,
                     std::vector<CertRef>& others);

// New objects, each with one reference.
ICertificate2* NewCertificate(const StoreEntry& entry);
ICertificates2* NewCertificates(const std::vector<StoreEntry>& entries);
IChain2* NewChain(const ChainResult& result);
IOID* NewOID(const std::string& dottedValue);
IEKU* NewEKU(long name, const std::string& oid);
IEKUs* NewEKUs(const std::vector<std::string>& oids);
// Bytes with a formatter for EncodedData.Format; without one the bytes are shown as hex.
IEncodedData* NewEncodedData(const Bytes& value, std::function<std::string(bool multiLine)> format = nullptr);
IAttribute* NewAttribute(long name, const VARIANT* value);
IAttributes* NewAttributes();
IAlgorithm* NewAlgorithm();

// Engine OID names and their dotted values.
long OidNameOf(const std::string& dotted);
std::string OidValueOf(long name);
std::string OidFriendlyName(const std::string& dotted);

}  // namespace kx::capi

// The module's own view of a certificate object.
struct IEngineCertificate : IUnknown {
  virtual std::shared_ptr<kx::capi::CertHolder> Holder() = 0;
  // Check flags, verification time and usage of the certificate's status object.
  virtual kx::capi::ChainParams StatusParams() = 0;
};
KX_DEFINE_IID(IEngineCertificate, "6C1D2F0E-8E34-4F1B-9A5E-2D7C3B9A41E5");
