// An enveloped message for recipient certificates. The system envelopes content keys with it: the key goes in
// as the content, the recipients' private keys open it again.
#pragma once

#include "engine/CapicomAttributes.h"
#include "engine/CapicomSigner.h"

class CCapicomEnvelopedData : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomEnvelopedData, IEnvelopedData)

 public:
  // A new engine object; raises when it cannot be made.
  CCapicomEnvelopedData();
  explicit CCapicomEnvelopedData(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  void PutContent(BSTR content);
  // An empty buffer leaves the content as it was; the bytes travel unchanged.
  void PutContentFromBuffer(const CByteBuffer& content);
  bool GetContentToBuffer(CByteBuffer& out) const;
  CBstrString GetContent() const;
  // Shared with the envelope: its name and key length are the cipher of the next encryption.
  CCapicomAlgorithm GetAlgorithm() const;
  CCapicomAlgorithm& GetAlgorithm(CCapicomAlgorithm& out) const { return out = GetAlgorithm(); }
  CCapicomRecipients GetRecipients() const;
  CCapicomRecipients& GetRecipients(CCapicomRecipients& out) const { return out = GetRecipients(); }
  CBstrString Encrypt(LONG encoding);
  // With forceDes set, an algorithm other than triple DES or AES is first set to DES at 56 bits (which the
  // engine writes as triple DES); triple DES and AES choices are kept.
  bool EncryptToBuffer(LONG encoding, CByteBuffer& out, bool forceDes);
  // The engine's result code, returned (E_FAIL on an empty wrapper): negative when no recipient's key is
  // available. The opened content is then read with GetContentToBuffer.
  HRESULT Decrypt(BSTR message);
};
