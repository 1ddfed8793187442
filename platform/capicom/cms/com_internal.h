// The message objects inside the engine module: what signers hand to the objects that sign with them
// (signed data here, signed code elsewhere in the module), the engine's chain check in the shape the message
// layer takes, and the factories of the objects a message hands out.
#pragma once

#include <functional>
#include <vector>

#include "platform/capicom/cms/cms.h"
#include "platform/capicom/com/objects.h"
#include "platform/capicom/messages.h"

namespace kx::capi {

using X509Ref = kxcms::X509Ref;

// What signing needs of a signer object: its certificate, its private key, the include option, the
// authenticated attributes, and certificates that came with it (a PFX file's).
struct SignerMaterial {
  StoreEntry entry;
  PKeyPtr key;
  long includeOption = CAPICOM_CERTIFICATE_INCLUDE_CHAIN_EXCEPT_ROOT;
  std::vector<kxcms::Attribute> attributes;
  std::vector<CertRef> extraCertificates;
};
// CAPICOM_E_SIGNER_NOT_INITIALIZED without a certificate, CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY when its key is
// not available, CAPICOM_E_ATTRIBUTE_INVALID_VALUE for an attribute whose value does not fit its name.
HRESULT ReadSigner(ISigner* signer, SignerMaterial& out);
// The signer as the message layer takes it; the certificates it points at live in material and pool.
kxcms::SignerParams SignerParamsOf(const SignerMaterial& material, const TrustSources& pool);

// The engine's chain check (the user's stores and the default check flags) for the message layer; each chain
// it builds is also handed to seen.
kxcms::ChainCheck EngineChainCheck(std::function<void(X509* cert, const ChainResult& chain)> seen = nullptr);

// A signer as read from a message: certificate, attributes, the chain built when it was verified (or none),
// and the message's certificates for a chain built later.
ISigner2* NewMessageSigner(const StoreEntry& entry, const std::vector<kxcms::Attribute>& attributes,
                           const ChainResult* chain, const std::vector<CertRef>& messageCerts);
ISigners* NewSigners(std::vector<Ref<ISigner2>> signers);
IRecipients* NewRecipients();

// A message handed in: the BSTR's bytes, or the bytes of base64 text.
Bytes MessageIn(BSTR message);
// A binary message's bytes where they are (DER begins with a SEQUENCE); null for text or no bytes.
const uint8_t* DerBytes(BSTR message, size_t* size);
// The start of a call that hands a message out: the out pointer cleared, the encoding checked.
HRESULT OutputStart(LONG encoding, BSTR* out);
// Content handed out: null for none.
HRESULT ContentOut(const Bytes& content, bool present, BSTR* out);

// Attribute values between the message layer and VARIANTs (a date for the signing time, text otherwise).
HRESULT AttributeOf(long name, const VARIANT& value, kxcms::Attribute& out);
IAttributes* AttributesOf(const std::vector<kxcms::Attribute>& attributes);

}  // namespace kx::capi

// The module's own view of a signer object: the key of a PFX file loaded into it.
struct IEngineSigner : IUnknown {
  virtual kx::capi::PKeyPtr LoadedKey() = 0;
  virtual std::vector<kx::capi::CertRef> LoadedCertificates() = 0;
};
KX_DEFINE_IID(IEngineSigner, "9B199511-A542-4D46-91A8-18B313ED2ABF");
