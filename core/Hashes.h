// SHA-1, keyed hashes and the password-based key derivation used by the cipher layers.
#pragma once

#include <memory>

#include "platform/win32/types.h"

class CByteBuffer;

// SHA-1 of the data; *outLength becomes 20.
bool Sha1Digest(BYTE* out, DWORD* outLength, const BYTE* data, DWORD length);
// SHA-1 fed piece by piece, for data that is never in memory at once.
class CSha1Stream {
 public:
  CSha1Stream();
  ~CSha1Stream();
  CSha1Stream(const CSha1Stream&) = delete;
  CSha1Stream& operator=(const CSha1Stream&) = delete;
  void Update(const BYTE* data, size_t length);
  // The 20 digest bytes; the stream starts over.
  void Final(BYTE* out);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// The first min(outLength, 20) bytes of HMAC-SHA1(key, data).
bool HmacSha1(const BYTE* key, DWORD keyLength, const BYTE* data, DWORD dataLength, BYTE* out, DWORD outLength);
// HMAC-MD5(key, data) into 16 bytes; note the order: message first, key second.
bool HmacMd5(const BYTE* data, DWORD dataLength, const BYTE* key, DWORD keyLength, BYTE* out);
// PBKDF2 with HMAC-SHA1 (RFC 2898).
bool Pbkdf2HmacSha1(const BYTE* password, DWORD passwordLength, const BYTE* salt, DWORD saltLength,
                    DWORD iterations, BYTE* out, DWORD outLength);
// The stored files' MD5 variant: every HMAC step is keyed with the salt block or the previous U, and the
// message is the password. Not interchangeable with textbook PBKDF2-HMAC-MD5.
bool Pbkdf2HmacMd5(const BYTE* password, DWORD passwordLength, const BYTE* salt, DWORD saltLength,
                   DWORD iterations, BYTE* out, DWORD outLength);

// Length of every key that DeriveKeyPbkdf2 makes.
constexpr DWORD kDerivedKeyLength = 256;
// Salt bytes taken from the salt buffer.
constexpr DWORD kDerivationSaltLength = 20;
// 256 derived bytes from the password and the first 20 bytes of the salt; false (out empty) when the salt is
// shorter than 20 bytes or the count is 0.
bool DeriveKeyPbkdf2(const CByteBuffer& password, const CByteBuffer& salt, DWORD iterations, bool md5,
                     CByteBuffer& out);
