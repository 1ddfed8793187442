#include "core/CipherEcb.h"

#include <cstring>
#include <memory>

#include <cryptopp/blowfish.h>
#include <cryptopp/des.h>
#include <cryptopp/rc2.h>
#include <cryptopp/rc5.h>
#include <cryptopp/rc6.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/twofish.h>

#include "core/ByteBuffer.h"

namespace kxcore {
namespace {

using Transform = std::unique_ptr<CryptoPP::BlockTransformation>;

// Cipher key bytes taken by the fixed-length ciphers; 0 for the variable-length ones.
DWORD FixedKeyBytes(int index) {
  switch (index) {
    case 0: return 8;
    case 1: return 24;
    case 4: return 16;
    default: return 0;
  }
}

template <class C>
Transform Make(bool encrypt, const BYTE* key, size_t len) {
  if (C::StaticGetValidKeyLength(len) != len)
    return nullptr;
  if (encrypt) return std::make_unique<typename C::Encryption>(key, len);
  return std::make_unique<typename C::Decryption>(key, len);
}

Transform MakeTransform(int index, bool encrypt, const BYTE* key, size_t len) {
  switch (index) {
    case 0: return Make<CryptoPP::DES>(encrypt, key, 8);
    case 1: return Make<CryptoPP::DES_EDE3>(encrypt, key, 24);
    case 2:
      if (len < 1 || len > 128) return nullptr;
      if (encrypt) return std::make_unique<CryptoPP::RC2::Encryption>(key, len, 1024);
      return std::make_unique<CryptoPP::RC2::Decryption>(key, len, 1024);
    case 3:
    case 9: return Make<CryptoPP::RC6>(encrypt, key, len);
    case 4: return Make<CryptoPP::DES_EDE2>(encrypt, key, 16);
    case 5: return Make<CryptoPP::Rijndael>(encrypt, key, len);
    case 6: return Make<CryptoPP::Blowfish>(encrypt, key, len);
    case 7: return Make<CryptoPP::Twofish>(encrypt, key, len);
    case 8:
      if (len > 255) return nullptr;
      if (encrypt) return std::make_unique<CryptoPP::RC5::Encryption>(key, len, 16);
      return std::make_unique<CryptoPP::RC5::Decryption>(key, len, 16);
    default: return nullptr;
  }
}

}  // namespace

DWORD CipherBlockSize(int cipherIndex) {
  switch (cipherIndex) {
    case 0: case 1: case 2: case 4: case 6: case 8: return 8;
    case 3: case 5: case 7: case 9: return 16;
    default: return 0;
  }
}

DWORD KeySizeBytes(int keySizeIndex) {
  switch (keySizeIndex) {
    case 1: return 16;
    case 4: return 24;
    case 5: return 32;
    case 6: return 56;
    default: return 0;
  }
}

bool EcbTransform(int cipherIndex, const CByteBuffer& key, const CByteBuffer& in, CByteBuffer& out,
                  bool encrypt) {
  return EcbTransform(cipherIndex, key, in.GetData(), in.GetLength(), out, encrypt);
}

bool EcbTransform(int cipherIndex, const CByteBuffer& key, const BYTE* src, DWORD n, CByteBuffer& out, bool encrypt) {
  const DWORD block = CipherBlockSize(cipherIndex);
  // The fixed-length ciphers take their bytes from the start of the key; a shorter key is refused.
  Transform t;
  if (block != 0 && key.GetLength() != 0 && key.GetLength() >= FixedKeyBytes(cipherIndex)) {
    try {
      t = MakeTransform(cipherIndex, encrypt, key.GetData(), key.GetLength());
    } catch (const CryptoPP::Exception&) {
      t.reset();
    }
  }
  if (!src) n = 0;
  const uint64_t total = t ? (static_cast<uint64_t>(n) + block - 1) / block * block : 0;
  // Input taken from out's own block is copied first: out may get a new block below.
  CByteBuffer aliased(0, true);
  const auto at = reinterpret_cast<uintptr_t>(src), own = reinterpret_cast<uintptr_t>(out.GetData());
  if (t && n && at >= own && at < own + out.GetLength()) {
    if (!aliased.CopyFrom(src, n)) t.reset();
    src = aliased.GetData();
  }
  // Every byte of out is written below: a block of the right size from the previous chunk is written over
  // instead of allocated (and faulted in) again.
  if (!t || total == 0 || total > 0xFFFFFFFFu || !out.Reuse(static_cast<DWORD>(total))) {
    out.Free(false);
    return t && total == 0;
  }
  BYTE* dst = out.GetData();
  const DWORD whole = n / block * block;
  if (whole) t->AdvancedProcessBlocks(src, nullptr, dst, whole, 0);
  if (whole < n) {
    BYTE last[16] = {};
    std::memcpy(last, src + whole, n - whole);  // the filler is zero bytes; the data is not read past its end
    t->ProcessBlock(last, dst + whole);
    WipeBytes(last, sizeof last);
  }
  return true;
}

void RoundToBlocks(int cipherIndex, DWORD& length) {
  DWORD block = CipherBlockSize(cipherIndex);
  if (block == 0) return;
  uint64_t r = (static_cast<uint64_t>(length) + block - 1) / block * block;
  if (r <= 0xFFFFFFFFu) length = static_cast<DWORD>(r);
}

}  // namespace kxcore
