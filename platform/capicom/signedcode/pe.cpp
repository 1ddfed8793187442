#include "platform/capicom/signedcode/pe.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/capicom/signedcode/codes.h"

namespace kxsc {
namespace {

constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;
constexpr int kCertificateDirectory = 4;

uint16_t U16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t U32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

HRESULT Refuse(std::string* detail, const std::string& why) {
  if (detail) *detail = why;
  return TRUST_E_SUBJECT_FORM_UNKNOWN;
}

}  // namespace

HRESULT ParsePe(const Bytes& image, PeLayout* out, std::string* detail) {
  const uint64_t size = image.size();
  if (size < 0x40 || image[0] != 'M' || image[1] != 'Z') return Refuse(detail, "not a PE image: no MZ header");
  if (size > 0xFFFFFFFFull) return Refuse(detail, "PE image larger than 4 GiB");
  uint64_t pe = U32(image, 0x3C);
  if (pe < 0x40 || pe + 24 > size) return Refuse(detail, "not a PE image: PE header offset outside the file");
  if (image[pe] != 'P' || image[pe + 1] != 'E' || image[pe + 2] != 0 || image[pe + 3] != 0)
    return Refuse(detail, "not a PE image: no PE signature");
  const uint64_t coff = pe + 4;
  const uint32_t sectionCount = U16(image, coff + 2);
  const uint32_t optSize = U16(image, coff + 16);
  const uint64_t opt = coff + 20;
  if (optSize < 2 || opt + optSize > size) return Refuse(detail, "optional header runs past the end of the file");

  PeLayout l;
  const uint16_t magic = U16(image, opt);
  uint64_t dirs = 0, rvaCountAt = 0;
  if (magic == 0x10B) {
    dirs = 96;
    rvaCountAt = 92;
  } else if (magic == 0x20B) {
    l.pe64 = true;
    dirs = 112;
    rvaCountAt = 108;
  } else {
    return Refuse(detail, "unknown optional header magic");
  }
  if (optSize < dirs) return Refuse(detail, "optional header too short");
  const uint64_t rvaCount = U32(image, opt + rvaCountAt);
  if (rvaCount > (optSize - dirs) / 8) return Refuse(detail, "data directories do not fit the optional header");

  l.checksumOffset = static_cast<uint32_t>(opt + 64);
  const uint64_t headersEnd = U32(image, opt + 60);
  const uint64_t sectionTable = opt + optSize;
  const uint64_t sectionTableEnd = sectionTable + 40ull * sectionCount;
  if (headersEnd > size) return Refuse(detail, "SizeOfHeaders runs past the end of the file");
  if (sectionTableEnd > headersEnd) return Refuse(detail, "section table runs past SizeOfHeaders");
  l.headersEnd = static_cast<uint32_t>(headersEnd);

  // Raw data of every section: inside the file, after the headers, no two overlapping.
  std::vector<std::pair<uint64_t, uint64_t>> raw;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = sectionTable + 40ull * i;
    const uint64_t rawSize = U32(image, at + 16);
    const uint64_t rawPtr = U32(image, at + 20);
    if (rawSize == 0) continue;
    if (rawPtr < headersEnd) return Refuse(detail, "section data overlaps the headers");
    if (rawPtr + rawSize > size) return Refuse(detail, "section data runs past the end of the file");
    raw.emplace_back(rawPtr, rawPtr + rawSize);
  }
  std::sort(raw.begin(), raw.end());
  uint64_t sectionsEnd = headersEnd;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (i && raw[i].first < raw[i - 1].second) return Refuse(detail, "sections overlap");
    sectionsEnd = std::max(sectionsEnd, raw[i].second);
  }
  l.sectionsEnd = static_cast<uint32_t>(sectionsEnd);

  if (rvaCount > kCertificateDirectory) {
    l.certEntryOffset = static_cast<uint32_t>(opt + dirs + 8 * kCertificateDirectory);
    const uint64_t certOffset = U32(image, l.certEntryOffset);
    const uint64_t certSize = U32(image, l.certEntryOffset + 4);
    if (certOffset || certSize) {
      if (!certOffset || certSize < 8) return Refuse(detail, "malformed certificate table entry");
      if (certOffset < sectionsEnd) return Refuse(detail, "certificate table overlaps the headers or sections");
      if (certOffset % 8) return Refuse(detail, "certificate table not 8-byte aligned");
      if (certOffset + certSize > size) return Refuse(detail, "certificate table runs past the end of the file");
      if (certOffset + certSize < size) return Refuse(detail, "data hidden after the certificate table");
      l.certOffset = static_cast<uint32_t>(certOffset);
      l.certSize = static_cast<uint32_t>(certSize);
    }
  }
  *out = l;
  return S_OK;
}

uint32_t PeChecksum(const Bytes& image, uint32_t checksumOffset) {
  uint64_t sum = 0;
  const size_t n = image.size();
  // The stored checksum counts as zero, wherever its bytes fall in the 16-bit words.
  auto byte = [&](size_t k) -> uint32_t {
    return (k >= n || (k >= checksumOffset && k < size_t{checksumOffset} + 4)) ? 0 : image[k];
  };
  for (size_t i = 0; i < n; i += 2) {
    uint32_t word = byte(i) | (byte(i + 1) << 8);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + n);
}

bool ImageDigest(const Bytes& image, const PeLayout& l, const EVP_MD* md, Bytes* digest) {
  if (!l.certEntryOffset) return false;
  const size_t end = l.Signed() ? l.certOffset : image.size();
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr)) return false;
  const uint8_t* p = image.data();
  bool ok = EVP_DigestUpdate(ctx.get(), p, l.checksumOffset) &&
            EVP_DigestUpdate(ctx.get(), p + l.checksumOffset + 4, l.certEntryOffset - (l.checksumOffset + 4)) &&
            EVP_DigestUpdate(ctx.get(), p + l.certEntryOffset + 8, end - (l.certEntryOffset + 8));
  unsigned int len = 0;
  digest->resize(EVP_MAX_MD_SIZE);
  ok = ok && EVP_DigestFinal_ex(ctx.get(), digest->data(), &len);
  digest->resize(ok ? len : 0);
  return ok;
}

HRESULT ReadSignatureBlob(const Bytes& image, const PeLayout& l, Bytes* pkcs7, std::string* detail) {
  if (!l.Signed()) {
    if (detail) *detail = "the file carries no signature";
    return TRUST_E_NOSIGNATURE;
  }
  const uint64_t end = static_cast<uint64_t>(l.certOffset) + l.certSize;
  bool found = false;
  for (uint64_t pos = l.certOffset; pos < end;) {
    if (end - pos < 8) return Refuse(detail, "truncated certificate table entry");
    const uint64_t length = U32(image, pos);
    const uint16_t revision = U16(image, pos + 4);
    const uint16_t type = U16(image, pos + 6);
    if (length < 8 || length > end - pos) return Refuse(detail, "certificate table entry length out of range");
    if (!found && revision == kWinCertRevision2 && type == kWinCertTypePkcsSignedData) {
      // The DER may be followed by alignment padding inside the entry.
      const uint8_t* blob = image.data() + pos + 8;
      size_t blobSize = length - 8;
      size_t derSize = der::EncodedLength(blob, blobSize);
      if (!derSize || blobSize - derSize >= 8) {
        if (detail) *detail = "the signature in the certificate table is not a DER encoding";
        return DIGSIG_E_DECODE;
      }
      pkcs7->assign(blob, blob + derSize);
      found = true;
    }
    const uint64_t next = pos + ((length + 7) & ~7ull);
    if (next > end && pos + length != end) return Refuse(detail, "certificate table entry length out of range");
    pos = next;
  }
  if (!found) {
    if (detail) *detail = "the certificate table holds no PKCS #7 signature";
    return TRUST_E_NOSIGNATURE;
  }
  return S_OK;
}

void StripCertificateTable(Bytes& image, PeLayout& l) {
  if (l.Signed()) image.resize(l.certOffset);
  if (l.certEntryOffset) {
    Put32(image, l.certEntryOffset, 0);
    Put32(image, l.certEntryOffset + 4, 0);
  }
  l.certOffset = l.certSize = 0;
}

void PadForCertificateTable(Bytes& image) { image.resize((image.size() + 7) & ~size_t{7}, 0); }

void AppendCertificateTable(Bytes& image, PeLayout& l, const Bytes& pkcs7) {
  const uint32_t length = static_cast<uint32_t>((8 + pkcs7.size() + 7) & ~size_t{7});
  const size_t at = image.size();
  image.resize(at + length, 0);
  Put32(image, at, length);
  Put16(image, at + 4, kWinCertRevision2);
  Put16(image, at + 6, kWinCertTypePkcsSignedData);
  std::copy(pkcs7.begin(), pkcs7.end(), image.begin() + at + 8);
  l.certOffset = static_cast<uint32_t>(at);
  l.certSize = length;
  Put32(image, l.certEntryOffset, l.certOffset);
  Put32(image, l.certEntryOffset + 4, l.certSize);
  Put32(image, l.checksumOffset, PeChecksum(image, l.checksumOffset));
}

}  // namespace kxsc
