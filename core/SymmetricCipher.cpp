#include "core/SymmetricCipher.h"

#include <cstring>

#include "core/CipherEcb.h"
#include "core/Hashes.h"

CCipherLayer::~CCipherLayer() = default;

void CCipherLayer::SetAlgorithm(int cipherIndex, int keySizeIndex) {
  m_nCipherIndex = cipherIndex;
  m_nKeySizeIndex = keySizeIndex;
}

void CCipherLayer::SetKey(const CByteBuffer& derivedKey) {
  DWORD n = kxcore::KeySizeBytes(m_nKeySizeIndex);
  if (n == 0 || derivedKey.GetLength() < n) return;
  // A second key replaces the first whole: a longer earlier key must not leave its tail behind.
  m_key.Free(false);
  m_key.SetAt(n, derivedKey.GetData(), 0);
}

void CCipherLayer::SetData(const CByteBuffer& data) { m_data = data; }

// out keeps its block when the result has its length (see EcbTransform), so chunk loops allocate once.
bool CCipherLayer::Encrypt(CByteBuffer& out) {
  if (!IsCipherOffered(m_nCipherIndex)) {
    out.Free(false);
    return false;
  }
  return kxcore::EcbTransform(m_nCipherIndex, m_key, m_data, out, true);
}

bool CCipherLayer::Decrypt(const CByteBuffer& in, CByteBuffer& out) {
  return Decrypt(in.GetData(), in.GetLength(), out);
}

bool CCipherLayer::Decrypt(const BYTE* in, DWORD length, CByteBuffer& out) {
  if (!IsCipherOffered(m_nCipherIndex)) {
    out.Free(false);
    return false;
  }
  return kxcore::EcbTransform(m_nCipherIndex, m_key, in, length, out, false);
}

bool CCipherLayer::DecryptMatches(const CByteBuffer& in, const CByteBuffer& expected) {
  CByteBuffer plain(0, true);
  if (!Decrypt(in, plain) || plain.GetLength() < expected.GetLength()) return false;
  return expected.GetLength() == 0 || std::memcmp(plain.GetData(), expected.GetData(), expected.GetLength()) == 0;
}

void CCipherLayer::AdjustLength(DWORD& length) {
  if (IsCipherOffered(m_nCipherIndex)) kxcore::RoundToBlocks(m_nCipherIndex, length);
}

bool CCipherLayer::DeriveKeyPbkdf2(const CByteBuffer& password, const CByteBuffer& salt, DWORD iterations,
                                   bool md5, CByteBuffer& out) {
  return ::DeriveKeyPbkdf2(password, salt, iterations, md5, out);
}

bool CSymmetricCipher::IsCipherOffered(int cipherIndex) const { return kxcore::CipherBlockSize(cipherIndex) != 0; }

bool CBlockCipher::IsCipherOffered(int cipherIndex) const { return cipherIndex >= 5 && cipherIndex <= 7; }
