// Opening, decrypting and verifying a protected file's content under the strict trust policy.
#include "core/SettingsStore.h"
#include "engine/CapicomChain.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomSigner.h"
#include "engine/CertPolicy.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/win32/registry.h"

using kx::engine::ToBinaryBstr;

namespace {

constexpr const char* kReadFailed = "Unable to read information from file";
constexpr const char* kSigneeFailed =
    "Unable to decrypt signee information. Digital ID/Private Key of the recipient not found";
constexpr const char* kContentFailed = "Unable to decrypt the content of the file";
constexpr const char* kVerifyFailed = "Unable to verify signature. Generic Digital Signature verification Error";
constexpr const char* kEngineFailed = "Generic Digital Signature verification Error";

// Puts the stream's read state back however the check ends, so the caller reads on as before.
class ReadStateKeeper {
 public:
  explicit ReadStateKeeper(CFileStream* stream)
      : m_stream(stream), m_blocks(stream->GetBlocksRead()), m_position(stream->GetPosition()) {}
  ~ReadStateKeeper() { Restore(); }
  void Restore() { m_stream->RestoreReadState(m_blocks, m_position); }

 private:
  CFileStream* m_stream;
  DWORD m_blocks;
  uint64_t m_position;
};

// An enveloped message opened with a key of the user's; false when none of its recipients' keys is here.
bool OpenEnvelope(const CByteBuffer& message, CByteBuffer& content) {
  try {
    CCapicomEnvelopedData envelope;
    BSTR bytes = ToBinaryBstr(message);
    HRESULT hr = envelope.Decrypt(bytes);
    SysFreeString(bytes);
    return SUCCEEDED(hr) && envelope.GetContentToBuffer(content) && content.GetLength() > 0;
  } catch (const _com_error&) {
    return false;
  }
}

bool DecryptBlock(CCapicomEncryptedData& decryptor, const CByteBuffer& block, LONG formatVersion,
                  CByteBuffer& content) {
  BSTR bytes = ToBinaryBstr(block);
  HRESULT hr = decryptor.Decrypt(bytes, formatVersion);
  SysFreeString(bytes);
  return SUCCEEDED(hr) && decryptor.GetContentToBuffer(content);
}

}  // namespace

HRESULT VerifyDetached(CCapicomSignedData& signedData, const CByteBuffer& signature, CByteBuffer& content,
                       bool fillable, LONG level) {
  constexpr DWORD kMaxFill = 15;
  signedData.PutContentFromBuffer(content);
  const HRESULT hr = signedData.Verify(signature, true, level);
  if (SUCCEEDED(hr) || !fillable) return hr;
  const BYTE* p = content.GetData();
  for (DWORD cut = 1; cut <= kMaxFill && cut <= content.GetLength() && p[content.GetLength() - cut] == 0; ++cut) {
    CByteBuffer shorter(content.GetLength() - cut, p, true);
    signedData.PutContentFromBuffer(shorter);
    if (SUCCEEDED(signedData.Verify(signature, true, level))) {
      content = shorter;
      return S_OK;
    }
  }
  signedData.PutContentFromBuffer(content);
  return hr;
}

bool CTolvexBinaryFileBase::VerifyContent(CFileStream* stream, CString& errorText) {
  CSettingsStore settings(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  DWORD strict = 0;
  settings.ReadInt("Config", "DoD_JICT", &strict, 0);
  if (!strict || !stream) return true;

  ReadStateKeeper keeper(stream);
  CByteBuffer first(0, true);
  bool read = stream->ReadUInt32Block(first);
  keeper.Restore();
  if (!read) {
    errorText = kReadFailed;
    return false;
  }

  // The content key: kept in the extra block when the header says so, else in the encryption part.
  const bool bothParts = m_info.m_signing.m_bPresent && m_info.m_encryption.m_bPresent;
  CByteBuffer secret(0, true);
  if (bothParts) {
    const CByteBuffer& key =
        m_bExtraFlag && m_extraBlock.GetLength() ? m_extraBlock : m_info.m_encryption.m_buffer;
    if (key.GetLength() && !OpenEnvelope(key, secret)) {
      errorText = kSigneeFailed;
      return false;
    }
  }

  const DWORD records = m_info.m_body.GetEntryCount();
  if (records == 0) return true;

  CCertPolicy policy;
  CCertificateList certificates;  // grows over the records; every certificate is judged at every record
  try {
    CCapicomSignedData signedData;
    const bool decrypting = bothParts && secret.GetLength() > 0;
    CCapicomEncryptedData decryptor(kx::engine::kEmpty);
    if (decrypting) {
      decryptor = CCapicomEncryptedData();
      decryptor.SetCipher(m_info.m_body.m_nested.m_bCipherIndex, m_info.m_body.m_nested.m_bKeyLengthIndex);
      decryptor.SetSecretFromBuffer(secret, 0);
    }
    const LONG formatVersion = m_info.m_abFormat[3];

    for (DWORD i = 0; i < records; ++i) {
      PayloadEntry entry;
      if (!m_info.m_body.GetEntry(i, entry)) continue;
      const DWORD signatures = entry.m_buffers.GetCount();
      CByteBuffer signature = signatures ? entry.m_buffers.GetAt(0) : CByteBuffer();

      if (bothParts && !decrypting) {
        // No key to open the blocks with: the signing part's buffer is what the record signs.
        signedData.PutContentFromBuffer(m_info.m_signing.m_buffer);
        if (FAILED(signedData.Verify(signature, true, 0))) {
          errorText = kVerifyFailed;
          return false;
        }
      } else {
        // Every block the content spans, each against the record's signature of the same place.
        keeper.Restore();
        DWORD k = 0;
        bool unsignedBlock = false;
        CByteBuffer block;
        uint64_t remaining = decrypting ? m_info.RecordedContentLength() : UINT64_MAX;
        for (; stream->ReadUInt32Block(block); ++k) {
          CByteBuffer content(0, true);
          if (!decrypting) {
            content = block;
          } else if (!DecryptBlock(decryptor, block, formatVersion, content)) {
            errorText = kContentFailed;
            return false;
          }
          // The own cipher of version 2 fills the last cipher block of each block with zeros; the writer keeps
          // the content's whole length, which cuts the last block.
          if (content.GetLength() > remaining) content = CByteBuffer(static_cast<DWORD>(remaining), content.GetData(), true);
          if (k >= signatures) {
            unsignedBlock = true;
            break;
          }
          signature = entry.m_buffers.GetAt(k);
          if (FAILED(VerifyDetached(signedData, signature, content, decrypting && formatVersion >= 2, 0))) {
            errorText = kVerifyFailed;
            return false;
          }
          if (remaining != UINT64_MAX) remaining -= content.GetLength();
          if (k == 0) m_info.m_signing.m_buffer = content;  // as the signature covers it
        }
        keeper.Restore();
        // A kept length longer than the content: the file is not the one written.
        if (unsignedBlock || k != signatures || (remaining != UINT64_MAX && remaining != 0)) {
          errorText = kVerifyFailed;
          return false;
        }
      }

      CCapicomSigners signers = signedData.GetSigners();
      LONG count = signers.GetCount();
      CCapicomCertificates chain = count > 0 ? signers.GetItem(count).GetChain().GetCertificates()
                                             : signedData.GetCertificates();
      for (LONG c = 1; c <= chain.GetCount(); ++c) certificates.Add(chain.GetItem(c));

      for (int c = 0; c < certificates.GetCount(); ++c) {
        CCapicomCertificate certificate = certificates.GetAt(c);
        CBstrString message;
        bool ok = false;
        policy.ValidateCertificate(certificate, message, ok);
        if (!ok) {
          errorText = message.GetAnsi() ? message.GetAnsi() : "";
          m_failedCertificate = certificate;
          m_strPolicyText = message;
          return false;
        }
      }

      HRESULT hr = signedData.Verify(signature, true, 1);
      if (hr != S_OK) {
        CString text;
        if (!policy.GetTrustErrorText(hr, text)) text = GetCapicomErrorMessage(hr).GetAnsi();
        errorText = text;
        return false;
      }
    }
  } catch (const _com_error&) {
    errorText = kEngineFailed;
    return false;
  }
  return true;
}
