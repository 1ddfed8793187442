// Symmetric encryption of content under a secret: through the engine's own format (protected-file format
// version 1), or through the system's own block-cipher layer (version 2 and above), in which the wrapper
// keeps the secret and the content itself and the engine is not asked to encrypt or decrypt.
#pragma once

#include "engine/CapicomAttributes.h"
#include "platform/capicom/messages.h"

namespace kx::engine {

// A BSTR that takes message after message of the same length in its own block (the chunks of one file);
// copies of its owner start without one.
class ReusedBstr {
 public:
  ReusedBstr() = default;
  ReusedBstr(const ReusedBstr&) {}
  ReusedBstr& operator=(const ReusedBstr&) { return *this; }
  ~ReusedBstr() { SysFreeString(m_bstr); }
  // The bytes as a BSTR this object keeps; null for no bytes or when no memory is left.
  BSTR Hold(const BYTE* bytes, DWORD length);

 private:
  BSTR m_bstr = nullptr;
};

}  // namespace kx::engine

class CCapicomEncryptedData : public CCapicomObject {
  KX_CAPICOM_POINTER(IEncryptedData)

 public:
  // A new engine object, then the format settings: both values are written back at once, and the format
  // version is kept for this wrapper's life. Raises when the engine object cannot be made.
  CCapicomEncryptedData();
  explicit CCapicomEncryptedData(kx::engine::EmptyTag);
  CCapicomEncryptedData(const CCapicomEncryptedData& other);
  CCapicomEncryptedData& operator=(const CCapicomEncryptedData& other);
  ~CCapicomEncryptedData() override;
  HRESULT Create() override;

  // The engine's algorithm and key-length values, for the own cipher path (the callers put the same two on
  // the engine's algorithm object).
  void SetCipherParameters(LONG algorithm, LONG keyLength);
  void SetCipherCodes(LONG algorithm, LONG keyLength) { SetCipherParameters(algorithm, keyLength); }
  void SetCipher(LONG algorithm, LONG keyLength) { SetCipherParameters(algorithm, keyLength); }

  void PutContent(BSTR content);
  // An empty buffer does nothing. Version 2 and above: the bytes are kept here, the engine is not called.
  void PutContentFromBuffer(const CByteBuffer& content);
  // The content of the path the last encryption or decryption took.
  bool GetContentToBuffer(CByteBuffer& out) const;
  CBstrString GetContent() const;
  CCapicomAlgorithm GetAlgorithm() const;
  CCapicomAlgorithm& GetAlgorithm(CCapicomAlgorithm& out) const { return out = GetAlgorithm(); }
  HRESULT SetSecret(const char* secret, LONG secretType);
  // The secret is kept here whatever the version (a version-2 message can be decrypted by any wrapper), then
  // handed to the engine; E_FAIL for an empty buffer or wrapper.
  HRESULT SetSecretFromBuffer(const CByteBuffer& secret, LONG secretType);
  CBstrString Encrypt(LONG encoding);
  bool EncryptToBuffer(LONG encoding, CByteBuffer& out);
  // The path follows the message's own format version; the result code is returned (E_FAIL when the engine
  // object is missing on the engine's path, or the own cipher path fails).
  HRESULT Decrypt(BSTR message, LONG formatVersion);
  // The same for a message in a buffer, as a file's chunks come: the own cipher path reads the bytes where
  // they are, the engine's path gets them in a BSTR kept from one chunk to the next.
  HRESULT Decrypt(const CByteBuffer& message, LONG formatVersion);

  // The own cipher path. The key is the start of the secret; a secret shorter than the key makes the call
  // fail (false, E_FAIL) instead of reading past it.
  bool EncryptWithCipher(CByteBuffer& out);
  HRESULT DecryptWithCipher(BSTR message);
  HRESULT DecryptWithCipher(const BYTE* message, DWORD length);
  // Bytes of secret the own cipher path needs for the cipher parameters: at least the 24 of a content key,
  // more when the key is longer (32 for AES at 256 bits).
  DWORD GetSecretLength() const;

  // 256 bytes of PBKDF2 (HMAC-SHA-1, 1000 iterations) with the input's bytes 0-19 as the salt and 20-29 as
  // the password; false for an input shorter than 30 bytes.
  static bool DeriveKeyFromBlock(const CByteBuffer& input, CByteBuffer& out);

  LONG GetFormatVersion() const { return m_FormatVersion; }

 private:
  bool OwnPath() const { return m_FormatVersion > 1; }

  CByteBuffer m_Secret{0, true};
  CByteBuffer m_Content{0, true};
  LONG m_Algorithm = -1;
  LONG m_KeyLength = -1;
  LONG m_FormatVersion = 1;
  bool m_bOwnContent = false;  // the content to read is m_Content (the own path was the last one taken)
  kx::engine::ReusedBstr m_message;  // the last chunk handed to the engine (content or message)
};
