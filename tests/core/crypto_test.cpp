// Hashes, key derivation, the cipher layers and the random generator, checked against OpenSSL's command
// line, Python's hashlib/hmac/pycryptodome and published test vectors.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ByteBuffer.h"
#include "core/Hashes.h"
#include "core/RandomGenerator.h"
#include "core/SymmetricCipher.h"
#include "support/testroot.h"

namespace {

std::string Hex(const BYTE* p, size_t n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}
std::string Hex(const CByteBuffer& b) { return Hex(b.GetData(), b.GetLength()); }

CByteBuffer Bytes(const std::string& hex) {
  CByteBuffer b;
  std::string t = hex;
  if (!t.empty()) {
    EXPECT_TRUE(b.FromHex(t.data())) << hex;
  }
  return b;
}
CByteBuffer Text(const std::string& s) { return CByteBuffer(static_cast<DWORD>(s.size()), s.data(), false); }

// Runs a command and returns its output as lower-case hex digits only.
std::string HexOutput(const std::string& cmd) {
  std::string out;
  EXPECT_EQ(kxtest::Run(cmd, &out), 0) << cmd << "\n" << out;
  std::string hex;
  for (char c : out)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += static_cast<char>(std::tolower(c));
  return hex;
}

std::string PyRef(const std::string& args) {
  return HexOutput("/usr/bin/python3 " + kxtest::SourceDir() + "/tests/core/crypto_ref.py " + args);
}

// OpenSSL's ECB encryption of n zero bytes.
std::string OpensslZeros(const std::string& cipher, const std::string& keyHex, size_t n, bool legacy) {
  std::string cmd = "head -c " + std::to_string(n) + " /dev/zero | openssl enc -" + cipher + " -nopad -K " + keyHex;
  if (legacy) cmd += " -provider legacy -provider default";
  return HexOutput(cmd + " 2>/dev/null | od -An -v -tx1");
}

CByteBuffer DerivedKey(const std::string& firstBytesHex) {
  CByteBuffer k = Bytes(firstBytesHex);
  k.Grow(256);
  return k;
}

std::string Encrypt(CCipherLayer& c, int cipher, int keySize, const CByteBuffer& derived, const CByteBuffer& data) {
  c.SetAlgorithm(cipher, keySize);
  c.SetKey(derived);
  c.SetData(data);
  CByteBuffer out;
  if (!c.Encrypt(out)) return "fail";
  return Hex(out);
}

const char* kKey32 = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

}  // namespace

TEST(Hashes, Sha1MatchesPublishedDigests) {
  struct { std::string in; const char* digest; } cases[] = {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
  };
  for (auto& c : cases) {
    BYTE out[20];
    DWORD n = 0;
    ASSERT_TRUE(Sha1Digest(out, &n, reinterpret_cast<const BYTE*>(c.in.data()), static_cast<DWORD>(c.in.size())));
    EXPECT_EQ(n, 20u);
    EXPECT_EQ(Hex(out, 20), c.digest);
  }
}

TEST(Hashes, HmacAgainstPythonIncludingLongKeys) {
  const std::string data = "what do ya want for nothing?";
  const std::string dataHex = Hex(reinterpret_cast<const BYTE*>(data.data()), data.size());
  for (size_t keyLen : {4u, 64u, 65u, 80u}) {
    std::string key(keyLen, '\0');
    for (size_t i = 0; i < keyLen; ++i) key[i] = static_cast<char>(i * 7 + 1);
    const BYTE* k = reinterpret_cast<const BYTE*>(key.data());
    const BYTE* d = reinterpret_cast<const BYTE*>(data.data());
    std::string keyHex = Hex(k, keyLen);
    BYTE sha[20], md5[16];
    ASSERT_TRUE(HmacSha1(k, static_cast<DWORD>(keyLen), d, static_cast<DWORD>(data.size()), sha, 20));
    ASSERT_TRUE(HmacMd5(d, static_cast<DWORD>(data.size()), k, static_cast<DWORD>(keyLen), md5));
    EXPECT_EQ(Hex(sha, 20), PyRef("hmac sha1 " + keyHex + " " + dataHex)) << keyLen;
    EXPECT_EQ(Hex(md5, 16), PyRef("hmac md5 " + keyHex + " " + dataHex)) << keyLen;
  }
  // RFC 2202 vector, and a truncated HMAC-SHA1.
  BYTE md5[16];
  HmacMd5(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()),
          reinterpret_cast<const BYTE*>("Jefe"), 4, md5);
  EXPECT_EQ(Hex(md5, 16), "750c783e6ab0b503eaa86e310a5db738");
  BYTE twelve[20] = {};
  HmacSha1(reinterpret_cast<const BYTE*>("Jefe"), 4, reinterpret_cast<const BYTE*>(data.data()),
           static_cast<DWORD>(data.size()), twelve, 12);
  EXPECT_EQ(Hex(twelve, 20), "effcdf6ae5eb2fa2d27416d5" + std::string(16, '0'));
}

TEST(KeyDerivation, Pbkdf2Sha1MatchesRfc6070) {
  struct { std::string p, s; DWORD c, len; const char* dk; } cases[] = {
      {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (auto& c : cases) {
    std::vector<BYTE> out(c.len);
    ASSERT_TRUE(Pbkdf2HmacSha1(reinterpret_cast<const BYTE*>(c.p.data()), static_cast<DWORD>(c.p.size()),
                               reinterpret_cast<const BYTE*>(c.s.data()), static_cast<DWORD>(c.s.size()), c.c,
                               out.data(), c.len));
    EXPECT_EQ(Hex(out.data(), out.size()), c.dk);
    std::string py = PyRef("pbkdf2 sha1 " + Hex(reinterpret_cast<const BYTE*>(c.p.data()), c.p.size()) + " " +
                           Hex(reinterpret_cast<const BYTE*>(c.s.data()), c.s.size()) + " " +
                           std::to_string(c.c) + " " + std::to_string(c.len));
    EXPECT_EQ(py, c.dk);
  }
}

TEST(KeyDerivation, DerivedKeyMatchesOpensslKdf) {
  // The engine's secret: salt = bytes 0-19, password = bytes 20-29 of a 30-byte value.
  CByteBuffer secret;
  for (int i = 0; i < 30; ++i) secret += static_cast<BYTE>(i);
  CByteBuffer salt(20, secret.GetData(), false), password(10, secret.GetData() + 20, false);
  CByteBuffer key;
  ASSERT_TRUE(DeriveKeyPbkdf2(password, salt, 1000, false, key));
  ASSERT_EQ(key.GetLength(), 256u);
  std::string ossl = HexOutput("openssl kdf -keylen 256 -kdfopt digest:SHA1 -kdfopt hexpass:" + Hex(password) +
                               " -kdfopt hexsalt:" + Hex(salt) + " -kdfopt iter:1000 PBKDF2");
  EXPECT_EQ(Hex(key), ossl);
  EXPECT_EQ(Hex(key).substr(0, 64), "daef11d5f4a1c12464bbda57f6755eac30933246007c0832951d51a8f761e8e8");

  // Only the first 20 salt bytes count; a salt shorter than 20 bytes is refused.
  CByteBuffer longSalt(salt);
  longSalt += Bytes("FFEEDDCCBBAA9988776655");
  CByteBuffer key2;
  ASSERT_TRUE(DeriveKeyPbkdf2(password, longSalt, 1000, false, key2));
  EXPECT_TRUE(key2 == key);
  CByteBuffer shortSalt(19, secret.GetData(), false), none = Bytes("AA");
  EXPECT_FALSE(DeriveKeyPbkdf2(password, shortSalt, 1000, false, none));
  EXPECT_EQ(none.GetLength(), 0u);
  EXPECT_FALSE(DeriveKeyPbkdf2(password, salt, 0, false, none));
}

TEST(KeyDerivation, Md5VariantIsTheStoredOrderNotTextbook) {
  CByteBuffer password = Text("password"), salt = Text("saltsaltsaltsaltsalt");
  CByteBuffer key;
  ASSERT_TRUE(DeriveKeyPbkdf2(password, salt, 1000, true, key));
  ASSERT_EQ(key.GetLength(), 256u);
  EXPECT_EQ(Hex(key), PyRef("md5variant " + Hex(password) + " " + Hex(salt) + " 1000 256"));
  EXPECT_EQ(Hex(key).substr(0, 64), "d4babfcfe490355cb3eeae71cd2ae4ad9fe8196ab72244cbc4dd700622bbf360");
  EXPECT_NE(Hex(key), PyRef("pbkdf2 md5 " + Hex(password) + " " + Hex(salt) + " 1000 256"));
}

TEST(SymmetricCipher, EachIndexMatchesOpensslOnZeroBlocks) {
  CByteBuffer derived = DerivedKey(kKey32);
  CByteBuffer zeros(32, true);
  struct { int cipher, keySize; const char* ossl; size_t keyBytes; bool legacy; } cases[] = {
      {5, 1, "aes-128-ecb", 16, false}, {5, 4, "aes-192-ecb", 24, false}, {5, 5, "aes-256-ecb", 32, false},
      {0, 1, "des-ecb", 8, true},       {4, 1, "des-ede", 16, false},     {1, 4, "des-ede3", 24, false},
      {1, 5, "des-ede3", 24, false},    {6, 1, "bf-ecb", 16, true},
  };
  for (auto& c : cases) {
    CSymmetricCipher s;
    std::string want = OpensslZeros(c.ossl, std::string(kKey32).substr(0, c.keyBytes * 2), 32, c.legacy);
    EXPECT_EQ(Encrypt(s, c.cipher, c.keySize, derived, zeros), want) << c.ossl;
  }
}

TEST(SymmetricCipher, PublishedVectorsAndPythonReferences) {
  CSymmetricCipher s;
  // RC2 with effective key length 1024 bits (pycryptodome), a 16-byte key.
  std::string data16 = "00112233445566778899aabbccddeeff";
  EXPECT_EQ(Encrypt(s, 2, 1, DerivedKey(kKey32), Bytes(data16)),
            PyRef("rc2 " + std::string(kKey32).substr(0, 32) + " " + data16));
  EXPECT_EQ(Encrypt(s, 2, 1, DerivedKey(kKey32), CByteBuffer(8, true)), "50dc0162bd757f31");
  // Blowfish with 56-byte keys (index 6): beyond what the OpenSSL command line takes.
  CByteBuffer k56 = DerivedKey(std::string(kKey32) + std::string(kKey32).substr(0, 48));
  EXPECT_EQ(Encrypt(s, 6, 6, k56, Bytes(data16)), PyRef("bf " + Hex(k56.GetData(), 56) + " " + data16));
  // RC6 (indexes 3 and 9), published vectors.
  std::string zero16(32, '0'), zero32(64, '0');
  EXPECT_EQ(Encrypt(s, 3, 1, DerivedKey(zero16), CByteBuffer(16, true)), "8fc3a53656b1f778c129df4e9848a41e");
  EXPECT_EQ(Encrypt(s, 9, 5, DerivedKey(zero32), CByteBuffer(16, true)), "8f5fbd0510d15fa893fa3fda6e857ec2");
  EXPECT_EQ(Encrypt(s, 3, 1, DerivedKey("0123456789abcdef0112233445566778"),
                    Bytes("02132435465768798a9bacbdcedfe0f1")),
            "524e192f4715c6231f51f6367ea43f18");
  // Twofish, published known-answer vectors.
  EXPECT_EQ(Encrypt(s, 7, 1, DerivedKey(zero16), CByteBuffer(16, true)), "9f589f5cf6122c32b6bfec2f2ae8c35a");
  EXPECT_EQ(Encrypt(s, 7, 4, DerivedKey("0123456789abcdeffedcba98765432100011223344556677"), CByteBuffer(16, true)),
            "cfd1d2e5a9be9cdf501f13b892bd2248");
  EXPECT_EQ(Encrypt(s, 7, 5, DerivedKey(zero32), CByteBuffer(16, true)), "57ff739d4dc92c1bd7fc01700cc8216f");
  // RC5-32 with 16 rounds against the Python reference, which itself reproduces the published 12-round vector.
  EXPECT_EQ(PyRef("rc5 12 915f4619be41b2516355a50110a9ce91 21a5dbee154b8f6d"), "f7c013ac5b2b8952");
  EXPECT_EQ(Encrypt(s, 8, 1, DerivedKey(kKey32), Bytes(data16)),
            PyRef("rc5 16 " + std::string(kKey32).substr(0, 32) + " " + data16));
}

TEST(SymmetricCipher, BlockRoundingEcbAndRoundTrip) {
  CByteBuffer derived = DerivedKey(kKey32);
  CByteBuffer ten = Bytes("0102030405060708090a");
  for (int cipher = 0; cipher <= 9; ++cipher) {
    CSymmetricCipher s;
    int keySize = (cipher == 1) ? 4 : 1;
    s.SetAlgorithm(cipher, keySize);
    s.SetKey(derived);
    s.SetData(ten);
    CByteBuffer enc, dec;
    ASSERT_TRUE(s.Encrypt(enc)) << cipher;
    DWORD block = (cipher == 3 || cipher == 5 || cipher == 7 || cipher == 9) ? 16 : 8;
    EXPECT_EQ(enc.GetLength(), 16u) << cipher;  // 10 bytes: two 8-byte or one 16-byte block
    ASSERT_TRUE(s.Decrypt(enc, dec));
    EXPECT_EQ(Hex(dec), Hex(ten) + std::string((block * ((10 + block - 1) / block) - 10) * 2, '0')) << cipher;
    EXPECT_TRUE(s.DecryptMatches(enc, ten));
    DWORD len = 1u << 20;
    s.AdjustLength(len);
    EXPECT_EQ(len, 1u << 20);
    len = 10;
    s.AdjustLength(len);
    EXPECT_EQ(len, 16u);
  }
  // 16 bytes with Rijndael stay 16; equal plaintext blocks give equal ciphertext blocks (no chaining).
  CSymmetricCipher aes;
  std::string twoBlocks = Encrypt(aes, 5, 1, derived, Bytes("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"));
  ASSERT_EQ(twoBlocks.size(), 64u);
  EXPECT_EQ(twoBlocks.substr(0, 32), twoBlocks.substr(32));
  EXPECT_EQ(Encrypt(aes, 5, 1, derived, Bytes(std::string(32, 'a'))).size(), 32u);
  // Index 9 is index 3.
  CSymmetricCipher a, b;
  EXPECT_EQ(Encrypt(a, 3, 5, derived, ten), Encrypt(b, 9, 5, derived, ten));
  // Empty data: empty output, true.
  CSymmetricCipher e;
  EXPECT_EQ(Encrypt(e, 5, 1, derived, CByteBuffer()), "");
}

// A chunk loop decrypts into the same output chunk after chunk (the last one shorter), and input read from
// the output's own block comes out as from a copy.
TEST(SymmetricCipher, ChunkLoopsReuseTheOutputAndInputMayBeTheOutput) {
  CByteBuffer derived = DerivedKey(kKey32);
  CSymmetricCipher s;
  s.SetAlgorithm(1, 4);
  s.SetKey(derived);
  const CByteBuffer chunks[] = {Bytes("00112233445566778899aabbccddeeff0011223344556677"),
                                Bytes("ffeeddccbbaa99887766554433221100ffeeddccbbaa9988"), Bytes("0102030405")};
  CByteBuffer enc, dec, first;
  for (const CByteBuffer& chunk : chunks) {
    s.SetData(chunk);
    ASSERT_TRUE(s.Encrypt(enc));
    CByteBuffer separate(enc);
    ASSERT_TRUE(s.Decrypt(separate, dec));
    EXPECT_EQ(Hex(dec).substr(0, chunk.GetLength() * 2), Hex(chunk));
    if (!first.GetLength()) first = enc;
  }
  EXPECT_EQ(dec.GetLength(), 8u);
  CByteBuffer inPlace(first), expected;
  const BYTE* block = inPlace.GetData();
  ASSERT_TRUE(s.Decrypt(inPlace.GetData(), inPlace.GetLength(), inPlace));
  EXPECT_EQ(inPlace.GetData(), block);
  EXPECT_EQ(Hex(inPlace), Hex(chunks[0]));
  ASSERT_TRUE(s.Decrypt(first.GetData() + 1, 10, expected));
  CByteBuffer tail(first);
  ASSERT_TRUE(s.Decrypt(tail.GetData() + 1, 10, tail));
  EXPECT_EQ(Hex(tail), Hex(expected));
  EXPECT_EQ(tail.GetLength(), 16u);
}

TEST(SymmetricCipher, RefusalsGiveFalseAndEmptyOutput) {
  CByteBuffer derived = DerivedKey(kKey32);
  struct { int cipher, keySize; } refused[] = {
      {10, 1}, {-1, 1},            // index outside the table
      {5, 2}, {5, 0}, {5, -1},     // key-size index that gives no key
      {5, 6}, {7, 6}, {3, 6},      // 56-byte keys that Rijndael, Twofish and RC6 do not take
      {1, 1},                      // DES-EDE3 needs 24 key bytes, 16 given
  };
  for (auto& r : refused) {
    CSymmetricCipher s;
    s.SetAlgorithm(r.cipher, r.keySize);
    s.SetKey(derived);
    s.SetData(Bytes("01020304"));
    CByteBuffer out = Bytes("AA");
    EXPECT_FALSE(s.Encrypt(out)) << r.cipher << "/" << r.keySize;
    EXPECT_EQ(out.GetLength(), 0u);
    CByteBuffer dec;
    EXPECT_FALSE(s.Decrypt(Bytes("00112233445566778899aabbccddeeff"), dec));
    EXPECT_FALSE(s.DecryptMatches(Bytes("00112233445566778899aabbccddeeff"), CByteBuffer()));
  }
  CSymmetricCipher s;
  s.SetAlgorithm(5, 2);
  s.SetKey(derived);
  EXPECT_EQ(s.GetKey().GetLength(), 0u);
}

TEST(BlockCipher, OnlyRijndaelBlowfishTwofishAndInteropWithTheLayer) {
  CByteBuffer derived = DerivedKey(kKey32);
  CByteBuffer data = Text("the content of a file, 37 bytes long.");
  for (int cipher : {0, 1, 2, 3, 4, 8, 9}) {
    CBlockCipher b;
    EXPECT_EQ(Encrypt(b, cipher, 1, derived, data), "fail") << cipher;
    CByteBuffer out;
    EXPECT_FALSE(b.Decrypt(Bytes("00112233445566778899aabbccddeeff"), out));
  }
  for (int cipher : {5, 6, 7}) {
    CBlockCipher b;
    CSymmetricCipher s;
    std::string viaBlock = Encrypt(b, cipher, 5, derived, data);
    EXPECT_EQ(viaBlock, Encrypt(s, cipher, 5, derived, data));
    CByteBuffer plain;
    ASSERT_TRUE(s.Decrypt(Bytes(viaBlock), plain));
    EXPECT_EQ(Hex(plain).substr(0, Hex(data).size()), Hex(data));
  }
}

TEST(BlockCipher, PassphraseCheckValueRejectsAWrongPassphrase) {
  CRandomGenerator rng(true);
  CByteBuffer drawn = rng.Generate();
  CByteBuffer salt(20, drawn.GetData(), false);
  auto keyFor = [&](const char* pass, bool md5) {
    CByteBuffer k;
    EXPECT_TRUE(CBlockCipher::DeriveKeyPbkdf2(Text(pass), salt, 1000, md5, k));
    return k;
  };
  for (bool md5 : {false, true}) {
    CBlockCipher enc;
    enc.SetAlgorithm(7, 5);
    enc.SetKey(keyFor("correct horse", md5));
    enc.SetData(salt);
    CByteBuffer check;
    ASSERT_TRUE(enc.Encrypt(check));
    EXPECT_EQ(check.GetLength(), 32u);
    CBlockCipher good, bad;
    good.SetAlgorithm(7, 5);
    good.SetKey(keyFor("correct horse", md5));
    bad.SetAlgorithm(7, 5);
    bad.SetKey(keyFor("correct horsE", md5));
    EXPECT_TRUE(good.DecryptMatches(check, salt));
    EXPECT_FALSE(bad.DecryptMatches(check, salt));
    CByteBuffer longer(salt);
    longer.Grow(40);
    EXPECT_FALSE(good.DecryptMatches(check, longer)) << "expected longer than the plaintext";
  }
}

TEST(RandomGenerator, DrawsFromTheOperatingSystem) {
  // Two generators within the same second must differ (the time-seeded generator made them equal).
  CRandomGenerator a(true), b(true);
  std::time_t before = std::time(nullptr);
  CByteBuffer x = a.Generate(), y = b.Generate(), z = a.Generate();
  ASSERT_EQ(std::time(nullptr), before) << "rerun: the second changed";
  ASSERT_EQ(x.GetLength(), 24u);
  EXPECT_FALSE(x == y);
  EXPECT_FALSE(x == z);
  EXPECT_FALSE(x == CByteBuffer(24, true));
  a.SetSize(0);
  EXPECT_EQ(a.Generate().GetLength(), 0u);
  a.SetSize(100000);
  EXPECT_EQ(a.Generate().GetLength(), 100000u);
}

TEST(RandomGenerator, ReferenceCountAndSourceCalls) {
  int base = RandomSourceReferences();
  {
    CRandomGenerator a(true);
    EXPECT_EQ(RandomSourceReferences(), base + 1);
    {
      CRandomGenerator b(false);
      EXPECT_EQ(RandomSourceReferences(), base + 2);
    }
    EXPECT_EQ(RandomSourceReferences(), base + 1);
  }
  EXPECT_EQ(RandomSourceReferences(), base);
  EXPECT_EQ(InitRandomSource(7, 0), 0);  // unknown type refused, count still raised
  EXPECT_EQ(RandomSourceReferences(), base + 1);
  EXPECT_EQ(ReleaseRandomSource(), 1);
  CRandomGenerator again(true);
  EXPECT_EQ(again.Generate().GetLength(), 24u);

  BYTE seed[17];
  std::fill(seed, seed + 17, 0xAB);
  EXPECT_EQ(MakeTimeSeed(seed, 17), 0);
  EXPECT_EQ(seed[0], 0xAB);
  EXPECT_EQ(MakeTimeSeed(seed, 4), 1);
  BYTE md5[16];
  DWORD n = 0;
  EXPECT_EQ(Md5OfBuffer(reinterpret_cast<const BYTE*>("abc"), 3, md5, &n), 1);
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(Hex(md5, 16), "900150983cd24fb0d6963f7d28e17f72");
}
