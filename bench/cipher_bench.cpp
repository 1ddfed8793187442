// The system's own cipher layer against the openssl command line on files of 10 MB and 200 MB (and 1 GB with
// KX_BENCH_LARGE=1): triple-DES decryption chunk by chunk (1 MiB chunks, as the decrypt worker reads a
// protected file) against "openssl cms -decrypt" of a triple-DES envelope of the same size, and password
// encryption (PBKDF2 key, AES-256 in 1 MiB chunks) against "openssl enc -pbkdf2". Time and peak memory of
// both sides, medians of alternated runs (KX_BENCH_RUNS).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/ByteBuffer.h"
#include "core/Hashes.h"
#include "core/SymmetricCipher.h"

using namespace kxbench;

namespace {

constexpr size_t kChunk = 1 << 20;
std::string g_root;

void WriteRandom(const std::string& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> chunk(kChunk);
  unsigned long long x = 0x9E3779B97F4A7C15ull;
  for (size_t done = 0; done < size; done += kChunk) {
    for (char& c : chunk) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      c = static_cast<char>(x >> 29);
    }
    out.write(chunk.data(), static_cast<std::streamsize>(std::min(kChunk, size - done)));
  }
}

// Reads in 1 MiB chunks, transforms each with the cipher layer and writes the result.
void RunChunks(const std::string& in, const std::string& out, int cipher, int keySize, bool encrypt,
               const CByteBuffer& key) {
  std::ifstream src(in, std::ios::binary);
  std::ofstream dst(out, std::ios::binary);
  std::vector<char> chunk(kChunk);
  CSymmetricCipher layer;
  layer.SetAlgorithm(cipher, keySize);
  layer.SetKey(key);
  CByteBuffer result(0, true);
  for (;;) {
    src.read(chunk.data(), static_cast<std::streamsize>(kChunk));
    DWORD n = static_cast<DWORD>(src.gcount());
    if (n == 0) break;
    if (encrypt) {
      layer.SetData(CByteBuffer(n, chunk.data(), true));
      layer.Encrypt(result);
    } else {
      layer.Decrypt(reinterpret_cast<const BYTE*>(chunk.data()), n, result);
    }
    dst.write(reinterpret_cast<const char*>(result.GetData()), result.GetLength());
  }
}

}  // namespace

int main() {
  g_root = TempRoot("cipher");
  const int runs = Runs();
  std::vector<size_t> sizes = {10u << 20, 200u << 20};
  if (const char* large = std::getenv("KX_BENCH_LARGE"); large && *large == '1') sizes.push_back(size_t(1) << 30);
  const std::string q = "'" + g_root;
  Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=bench -days 2 -keyout " + q + "/key.pem' -out " + q +
        "/cert.pem' 2>/dev/null");
  CByteBuffer key(256, std::string(256, 'k').data(), true);
  for (size_t size : sizes) {
    std::string plain = g_root + "/plain.bin";
    WriteRandom(plain, size);
    char label[64];
    std::snprintf(label, sizeof label, "%zu MB", size >> 20);

    // Triple DES: our ciphertext made once, and openssl's envelope of the same data.
    RunChunks(plain, g_root + "/ours.3des", 1, 4, true, key);
    Shell("openssl cms -encrypt -binary -des3 -outform DER -in " + q + "/plain.bin' -out " + q + "/cms.der' " + q +
          "/cert.pem'");
    Compare((std::string("3DES decrypt ") + label).c_str(), runs,
            [&] { return InChild([&] { RunChunks(g_root + "/ours.3des", g_root + "/ours.out", 1, 4, false, key); }); },
            "openssl cms", [&] {
              return Command("openssl cms -decrypt -binary -inform DER -in " + q + "/cms.der' -inkey " + q +
                             "/key.pem' -out " + q + "/cms.out'");
            });

    Compare((std::string("password encrypt ") + label).c_str(), runs,
            [&] {
              return InChild([&] {
                CByteBuffer password(8, "password", true), salt(20, "saltsaltsaltsaltsalt", false), derived;
                DeriveKeyPbkdf2(password, salt, 10000, false, derived);
                RunChunks(plain, g_root + "/ours.pw", 5, 5, true, derived);
              });
            },
            "openssl enc", [&] {
              return Command("openssl enc -aes-256-cbc -pbkdf2 -iter 10000 -pass pass:password -in " + q +
                             "/plain.bin' -out " + q + "/enc.out'");
            });
    Shell("rm -f " + q + "/'*.out " + q + "/ours.3des' " + q + "/cms.der' " + q + "/ours.pw'");
  }
  Shell("rm -rf " + q + "'");
  return 0;
}
