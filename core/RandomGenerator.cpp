#include "core/RandomGenerator.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include <cryptopp/md5.h>

namespace {

std::mutex g_lock;
int g_references = 0;
int g_type = 0;

// The whole request from the kernel's generator, or false.
bool OsRandom(BYTE* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t got = getrandom(out + done, n - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

void TimeDigest(BYTE digest[16]) {
  uint32_t now = static_cast<uint32_t>(std::time(nullptr));
  CryptoPP::Weak::MD5().CalculateDigest(digest, reinterpret_cast<const BYTE*>(&now), sizeof now);
}

}  // namespace

int InitRandomSource(int type, DWORD seed) {
  std::lock_guard<std::mutex> lock(g_lock);
  ++g_references;
  if (type != 0 && type != 1) return 0;
  g_type = type;  // both types draw from the operating system; the seed is not used
  return 1;
}

int ReleaseRandomSource() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_references > 0) --g_references;
  return 1;
}

int RandomSourceReferences() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_references;
}

int FillRandom(BYTE* buffer, WORD length, int* status) {
  if (status) *status = 0;
  if (length == 0) return 1;
  if (!buffer) return 0;
  return OsRandom(buffer, length) ? 1 : 0;
}

int MakeTimeSeed(BYTE* out, WORD length) {
  if (!out || length > 16) return 0;
  BYTE digest[16];
  TimeDigest(digest);
  std::memcpy(out, digest, length);
  return 1;
}

int StirRandomPool(const BYTE* data, WORD length, int* status) {
  // The operating system's generator needs no stirring; the call stays for its callers.
  if (status) *status = 0;
  return 1;
}

int Md5OfBuffer(const BYTE* data, WORD length, BYTE* out, DWORD* outLength) {
  if (!out || (!data && length)) return 0;
  CryptoPP::Weak::MD5().CalculateDigest(out, data, length);
  if (outLength) *outLength = 16;
  return 1;
}

CRandomGenerator::CRandomGenerator(bool useRuntime) {
  if (useRuntime) {
    BYTE seed[4] = {};
    MakeTimeSeed(seed, 4);
    uint32_t value;
    std::memcpy(&value, seed, 4);
    InitRandomSource(1, value);
  } else {
    InitRandomSource(0, 0);
  }
}

CRandomGenerator::~CRandomGenerator() { ReleaseRandomSource(); }

CByteBuffer CRandomGenerator::Generate() {
  m_buffer.Free(true);
  if (m_nSize == 0) return CByteBuffer();
  if (!m_buffer.Allocate(m_nSize, true)) return CByteBuffer();
  StirRandomPool(nullptr, 0, nullptr);
  int status = 0;
  DWORD done = 0;
  while (done < m_nSize) {
    WORD part = static_cast<WORD>(kx_min<DWORD>(m_nSize - done, 0xFFFF));
    if (!FillRandom(m_buffer.GetData() + done, part, &status)) {
      m_buffer.Free(true);
      return CByteBuffer();
    }
    done += part;
  }
  return CByteBuffer(m_buffer, false);
}
