// The system's own block cipher layers over Crypto++: a whole buffer encrypted or decrypted in
// electronic-codebook mode (no IV, as the stored files need) with a cipher chosen by index and a key cut
// from the 256-byte password-derived key.
#pragma once

#include "core/ByteBuffer.h"

// Members and operations shared by CSymmetricCipher and CBlockCipher; each answers only for its own
// cipher indexes.
class CCipherLayer {
 public:
  virtual ~CCipherLayer();

  void SetAlgorithm(int cipherIndex, int keySizeIndex);
  // The key becomes the key-size index's number of bytes from the start of derivedKey (none for other
  // indexes: the key stays as it was).
  void SetKey(const CByteBuffer& derivedKey);
  void SetData(const CByteBuffer& data);
  // Encrypts the data into out: whole blocks, the last completed with zero bytes.
  bool Encrypt(CByteBuffer& out);
  bool Decrypt(const CByteBuffer& in, CByteBuffer& out);
  bool Decrypt(const BYTE* in, DWORD length, CByteBuffer& out);
  // True when in decrypts to a plaintext that starts with expected.
  bool DecryptMatches(const CByteBuffer& in, const CByteBuffer& expected);
  // Rounds a length up to whole blocks of the chosen cipher (whole MiB come back unchanged).
  void AdjustLength(DWORD& length);
  static bool DeriveKeyPbkdf2(const CByteBuffer& password, const CByteBuffer& salt, DWORD iterations, bool md5,
                              CByteBuffer& out);

  int GetCipherIndex() const { return m_nCipherIndex; }
  int GetKeySizeIndex() const { return m_nKeySizeIndex; }
  const CByteBuffer& GetKey() const { return m_key; }

 protected:
  CCipherLayer() = default;
  virtual bool IsCipherOffered(int cipherIndex) const = 0;

 private:
  // Both buffers hold secrets (key and plaintext) and are wiped when released.
  CByteBuffer m_data{0, true};
  int m_nCipherIndex = -1;
  int m_nKeySizeIndex = -1;
  CByteBuffer m_key{0, true};
};

// All ten ciphers: 0 DES, 1 DES-EDE3, 2 RC2 (effective 1024 bits), 3 RC6, 4 DES-EDE2, 5 Rijndael,
// 6 Blowfish, 7 Twofish, 8 RC5 (16 rounds), 9 RC6.
class CSymmetricCipher : public CCipherLayer {
 public:
  CSymmetricCipher() = default;

 protected:
  bool IsCipherOffered(int cipherIndex) const override;
};

// The encryption wizard's password cipher: only 5 Rijndael, 6 Blowfish and 7 Twofish.
class CBlockCipher : public CCipherLayer {
 public:
  CBlockCipher() = default;

 protected:
  bool IsCipherOffered(int cipherIndex) const override;
};
