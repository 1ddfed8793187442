#include "core/Hashes.h"

#include <cstring>
#include <vector>

#include <cryptopp/hmac.h>
#include <cryptopp/md5.h>
#include <cryptopp/secblock.h>
#include <cryptopp/sha.h>

#include "core/ByteBuffer.h"

namespace {

// One PBKDF2 loop for both variants. keyWithPassword: RFC 2898 (HMAC keyed with P, message S||i then U);
// otherwise the MD5 variant (keyed with S||i then U, message P).
template <class H>
bool Pbkdf2(bool keyWithPassword, const BYTE* password, DWORD passwordLength, const BYTE* salt,
            DWORD saltLength, DWORD iterations, BYTE* out, DWORD outLength) {
  if (!out || outLength == 0 || iterations == 0) return false;
  if ((!password && passwordLength) || (!salt && saltLength)) return false;
  constexpr DWORD h = H::DIGESTSIZE;
  CryptoPP::SecByteBlock block(static_cast<size_t>(saltLength) + 4), u(h), t(h);
  if (saltLength) std::memcpy(block.data(), salt, saltLength);
  CryptoPP::HMAC<H> mac;
  try {
    for (DWORD done = 0, i = 1; done < outLength; ++i) {
      BYTE* counter = block.data() + saltLength;
      counter[0] = static_cast<BYTE>(i >> 24);
      counter[1] = static_cast<BYTE>(i >> 16);
      counter[2] = static_cast<BYTE>(i >> 8);
      counter[3] = static_cast<BYTE>(i);
      if (keyWithPassword) {
        mac.SetKey(password, passwordLength);
        mac.CalculateDigest(u.data(), block.data(), block.size());
      } else {
        mac.SetKey(block.data(), block.size());
        mac.CalculateDigest(u.data(), password, passwordLength);
      }
      std::memcpy(t.data(), u.data(), h);
      for (DWORD j = 1; j < iterations; ++j) {
        if (keyWithPassword) {
          mac.CalculateDigest(u.data(), u.data(), h);  // the key stays P
        } else {
          mac.SetKey(u.data(), h);
          mac.CalculateDigest(u.data(), password, passwordLength);
        }
        for (DWORD k = 0; k < h; ++k) t[k] ^= u[k];
      }
      DWORD n = kx_min(h, outLength - done);
      std::memcpy(out + done, t.data(), n);
      done += n;
    }
  } catch (const CryptoPP::Exception&) {
    return false;
  }
  return true;
}

}  // namespace

bool Sha1Digest(BYTE* out, DWORD* outLength, const BYTE* data, DWORD length) {
  if (!out || (!data && length)) return false;
  CryptoPP::SHA1().CalculateDigest(out, data, length);
  if (outLength) *outLength = CryptoPP::SHA1::DIGESTSIZE;
  return true;
}

struct CSha1Stream::State {
  CryptoPP::SHA1 sha;
};
CSha1Stream::CSha1Stream() : m_state(new State) {}
CSha1Stream::~CSha1Stream() = default;
void CSha1Stream::Update(const BYTE* data, size_t length) { m_state->sha.Update(data, length); }
void CSha1Stream::Final(BYTE* out) { m_state->sha.Final(out); }

bool HmacSha1(const BYTE* key, DWORD keyLength, const BYTE* data, DWORD dataLength, BYTE* out, DWORD outLength) {
  if (!out || (!key && keyLength) || (!data && dataLength)) return false;
  BYTE mac[CryptoPP::SHA1::DIGESTSIZE];
  CryptoPP::HMAC<CryptoPP::SHA1>(key, keyLength).CalculateDigest(mac, data, dataLength);
  std::memcpy(out, mac, kx_min<DWORD>(outLength, sizeof mac));
  WipeBytes(mac, sizeof mac);
  return true;
}

bool HmacMd5(const BYTE* data, DWORD dataLength, const BYTE* key, DWORD keyLength, BYTE* out) {
  if (!out || (!key && keyLength) || (!data && dataLength)) return false;
  CryptoPP::HMAC<CryptoPP::Weak::MD5>(key, keyLength).CalculateDigest(out, data, dataLength);
  return true;
}

bool Pbkdf2HmacSha1(const BYTE* password, DWORD passwordLength, const BYTE* salt, DWORD saltLength,
                    DWORD iterations, BYTE* out, DWORD outLength) {
  return Pbkdf2<CryptoPP::SHA1>(true, password, passwordLength, salt, saltLength, iterations, out, outLength);
}

bool Pbkdf2HmacMd5(const BYTE* password, DWORD passwordLength, const BYTE* salt, DWORD saltLength,
                   DWORD iterations, BYTE* out, DWORD outLength) {
  return Pbkdf2<CryptoPP::Weak::MD5>(false, password, passwordLength, salt, saltLength, iterations, out,
                                     outLength);
}

bool DeriveKeyPbkdf2(const CByteBuffer& password, const CByteBuffer& salt, DWORD iterations, bool md5,
                     CByteBuffer& out) {
  out.Free(false);
  if (salt.GetLength() < kDerivationSaltLength) return false;
  CByteBuffer key(kDerivedKeyLength, true);
  if (key.GetLength() != kDerivedKeyLength) return false;
  bool ok = md5 ? Pbkdf2HmacMd5(password.GetData(), password.GetLength(), salt.GetData(), kDerivationSaltLength,
                                iterations, key.GetData(), kDerivedKeyLength)
                : Pbkdf2HmacSha1(password.GetData(), password.GetLength(), salt.GetData(), kDerivationSaltLength,
                                 iterations, key.GetData(), kDerivedKeyLength);
  return ok && out.SetAt(kDerivedKeyLength, key.GetData(), 0);
}
