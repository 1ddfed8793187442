// The signer of a signed message (a certificate with its key, the chain-inclusion option and the signed
// attributes), the signers found on a message, and the recipients of an enveloped message.
#pragma once

#include "engine/CapicomAttributes.h"
#include "engine/CapicomChain.h"
#include "platform/capicom/messages.h"

class CCapicomSigner : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomSigner, ISigner2)

 public:
  // A new engine signer; raises when it cannot be made.
  CCapicomSigner();
  explicit CCapicomSigner(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  CCapicomCertificate GetCertificate() const;
  CCapicomCertificate& GetCertificate(CCapicomCertificate& out) const { return out = GetCertificate(); }
  // Under the strict trust policy (DoD_JICT, read anew at every call) the signature carries the whole chain.
  void PutCertificate(const CCapicomCertificate& certificate);
  // Shared with the signer: what is added to it is signed with the content.
  CCapicomAttributes GetAuthenticatedAttributes() const;
  CCapicomAttributes& GetAuthenticatedAttributes(CCapicomAttributes& out) const {
    return out = GetAuthenticatedAttributes();
  }
  CCapicomChain GetChain() const;
  CCapicomChain& GetChain(CCapicomChain& out) const { return out = GetChain(); }
  // 0 chain except root, 1 whole chain, 2 end certificate only.
  LONG GetOptions() const;
  void PutOptions(LONG option);
  // A PFX file's certificate and key for this signer; E_FAIL on an empty wrapper.
  HRESULT Load(const char* fileName, const char* password);
};

class CCapicomSigners : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomSigners, ISigners)

 public:
  // Empty: the object comes from a signed data object.
  CCapicomSigners() = default;
  HRESULT Create() override;
  LONG GetCount() const;
  // Items 1 to the count; an empty wrapper from an empty collection.
  CCapicomSigner GetItem(LONG index) const;
  CCapicomSigner& GetItem(CCapicomSigner& out, LONG index) const { return out = GetItem(index); }
};

class CCapicomRecipients : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomRecipients, IRecipients)

 public:
  // A new engine collection; raises when it cannot be made.
  CCapicomRecipients();
  explicit CCapicomRecipients(kx::engine::EmptyTag) {}
  HRESULT Create() override;
  LONG GetCount() const;
  CCapicomCertificate GetItem(LONG index) const;
  CCapicomCertificate& GetItem(CCapicomCertificate& out, LONG index) const { return out = GetItem(index); }
  // E_FAIL when either wrapper is empty.
  HRESULT Add(const CCapicomCertificate& certificate);
  HRESULT Remove(LONG index);
  HRESULT Clear();
};
