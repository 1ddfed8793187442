// Hostile and malformed PE images: refused with a clear code, never read out of bounds.
#include <functional>
#include <random>

#include "fixture.h"

namespace {

using namespace sctest;
using kxsc::Bytes;

uint32_t Get32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
void Set16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// Offsets found with the format's own rules, independent of the code under test.
struct Offsets {
  size_t pe, opt, sections, certEntry, dirs;
  explicit Offsets(const Bytes& b) {
    pe = Get32(b, 0x3C);
    opt = pe + 24;
    bool pe64 = b[opt] == 0x0B && b[opt + 1] == 0x02;
    dirs = opt + (pe64 ? 112 : 96);
    certEntry = dirs + 4 * 8;
    sections = opt + (b[pe + 20] | b[pe + 21] << 8);
  }
};

class HostileTest : public SignedCodeTest {
 protected:
  Bytes Load(const std::string& fixture, bool sign) {
    std::string s = kxtest::ReadFile(PeFixture(fixture));
    Bytes image(s.begin(), s.end());
    if (sign) {
      EXPECT_EQ(kxsc::SignImage(image, Params()), S_OK);
    }
    return image;
  }
};

TEST_F(HostileTest, MalformedImagesAreRefused) {
  using Mutation = std::function<void(Bytes&)>;
  struct Case {
    const char* name;
    bool signedImage;
    Mutation mutate;
    HRESULT verify;  // also what signing answers, unless the case is inside the certificate table,
                     // which a new signature replaces whole
  };
  const HRESULT kForm = kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN;
  const Case cases[] = {
      {"empty", false, [](Bytes& b) { b.clear(); }, kForm},
      {"shorter than the DOS header", false, [](Bytes& b) { b.resize(0x3F); }, kForm},
      {"truncated after the PE signature", false, [](Bytes& b) { b.resize(Offsets(b).pe + 10); }, kForm},
      {"truncated in the optional header", false, [](Bytes& b) { b.resize(Offsets(b).opt + 50); }, kForm},
      {"truncated in the section data", true, [](Bytes& b) { b.resize(b.size() / 2); }, kForm},
      {"PE offset past the end", false, [](Bytes& b) { Set32(b, 0x3C, 0xFFFFFFF0); }, kForm},
      {"no PE signature", false, [](Bytes& b) { b[Offsets(b).pe] = 'X'; }, kForm},
      {"optional header larger than the file", false, [](Bytes& b) { Set16(b, Offsets(b).pe + 20, 0xFFFF); }, kForm},
      {"unknown magic", false, [](Bytes& b) { Set16(b, Offsets(b).opt, 0x107); }, kForm},
      {"directory count past the header", false, [](Bytes& b) { Set32(b, Offsets(b).dirs - 4, 0x10000000); }, kForm},
      {"section count past the headers", false, [](Bytes& b) { Set16(b, Offsets(b).pe + 6, 0xFFFF); }, kForm},
      {"SizeOfHeaders past the end", false, [](Bytes& b) { Set32(b, Offsets(b).opt + 60, b.size() + 1); }, kForm},
      {"overlapping sections", false,
       [](Bytes& b) { Offsets o(b); Set32(b, o.sections + 40 + 20, Get32(b, o.sections + 20) + 16); }, kForm},
      {"section inside the headers", false, [](Bytes& b) { Set32(b, Offsets(b).sections + 20, 0x10); }, kForm},
      {"section past the end", false, [](Bytes& b) { Set32(b, Offsets(b).sections + 16, 0x7FFFFFFF); }, kForm},
      {"certificate table past the end", true,
       [](Bytes& b) { Offsets o(b); Set32(b, o.certEntry, b.size() + 8); }, kForm},
      {"certificate table longer than the file", true,
       [](Bytes& b) { Offsets o(b); Set32(b, o.certEntry + 4, Get32(b, o.certEntry + 4) + 8); }, kForm},
      {"data hidden after the certificate table", true, [](Bytes& b) { b.insert(b.end(), 16, 0x41); }, kForm},
      {"certificate table inside a section", true,
       [](Bytes& b) { Offsets o(b); Set32(b, o.certEntry, Get32(b, o.sections + 20)); }, kForm},
      {"misaligned certificate table", true,
       [](Bytes& b) {
         Offsets o(b);
         Set32(b, o.certEntry, Get32(b, o.certEntry) + 4);
         Set32(b, o.certEntry + 4, Get32(b, o.certEntry + 4) - 4);
       },
       kForm},
      {"entry without a size", false, [](Bytes& b) { Set32(b, Offsets(b).certEntry, 0x200); }, kForm},
      {"WIN_CERTIFICATE length 0", true, [](Bytes& b) { Set32(b, Get32(b, Offsets(b).certEntry), 0); }, kForm},
      {"WIN_CERTIFICATE length past the table", true,
       [](Bytes& b) { Set32(b, Get32(b, Offsets(b).certEntry), 0x7FFFFFFF); }, kForm},
      {"WIN_CERTIFICATE of another type", true,
       [](Bytes& b) { Set16(b, Get32(b, Offsets(b).certEntry) + 6, 1); }, kxsc::TRUST_E_NOSIGNATURE},
      {"signature not DER", true, [](Bytes& b) { b[Get32(b, Offsets(b).certEntry) + 8] = 0x31; }, kxsc::DIGSIG_E_DECODE},
      {"signature DER cut short", true,
       [](Bytes& b) { b[Get32(b, Offsets(b).certEntry) + 11] ^= 0x40; }, kxsc::DIGSIG_E_DECODE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = Load(c.signedImage ? "hello64.exe" : "hello32.exe", c.signedImage);
    c.mutate(image);
    std::string detail;
    EXPECT_EQ(kxsc::VerifyImage(image, Verify(), nullptr, &detail), c.verify) << detail;
    EXPECT_FALSE(detail.empty());
    const bool insideTable = std::string(c.name).find("WIN_CERTIFICATE") == 0 || c.verify != kForm;
    if (insideTable) {
      EXPECT_EQ(kxsc::SignImage(image, Params(), &detail), S_OK) << detail;
      EXPECT_EQ(kxsc::VerifyImage(image, Verify(), nullptr, &detail), S_OK) << detail;
    } else {
      const Bytes before = image;
      EXPECT_EQ(kxsc::SignImage(image, Params(), &detail), kForm) << detail;
      EXPECT_EQ(image, before);
    }
  }
}

TEST_F(HostileTest, RandomDamageNeverCrashes) {
  // Deterministic damage to headers, section table and certificate table; under AddressSanitizer any
  // read out of bounds fails the run.
  const Bytes pristine = Load("hello32.exe", true);
  Offsets o(pristine);
  const size_t certAt = Get32(pristine, o.certEntry);
  std::mt19937 rng(20240611);
  int accepted = 0;
  for (int i = 0; i < 1500; ++i) {
    Bytes image = pristine;
    int kind = i % 3;
    if (kind == 0) {
      for (int k = 0; k < 3; ++k) image[rng() % (o.sections + 80)] = static_cast<uint8_t>(rng());
    } else if (kind == 1) {
      for (int k = 0; k < 3; ++k) image[certAt + rng() % (image.size() - certAt)] = static_cast<uint8_t>(rng());
    } else {
      image.resize(rng() % image.size());
    }
    if (kxsc::VerifyImage(image, Verify()) == S_OK) ++accepted;
    kxsc::SignatureInfo info;
    kxsc::VerifyImage(image, kxsc::VerifyParams(), &info);
    Bytes copy = image;
    kxsc::SignImage(copy, Params());
  }
  // Damage to bytes outside the digest (the checksum, unused header fields) may still verify; most must not.
  EXPECT_LT(accepted, 300);
}

TEST_F(HostileTest, ChecksumAndDigestSkipTheRightBytes) {
  Bytes image = Load("hello64.exe", true);
  kxsc::PeLayout l;
  ASSERT_EQ(kxsc::ParsePe(image, &l, nullptr), S_OK);
  EXPECT_TRUE(l.pe64);
  EXPECT_EQ(kxsc::PeChecksum(image, l.checksumOffset), Get32(image, l.checksumOffset));
  EXPECT_EQ(l.certOffset % 8, 0u);
  EXPECT_EQ(size_t{l.certOffset} + l.certSize, image.size());
  EXPECT_EQ(l.certSize % 8, 0u);
  // The checksum is not part of the digest (the table is not either: time stamps change it).
  Bytes changed = image;
  Set32(changed, l.checksumOffset, 0x12345678);
  EXPECT_EQ(kxsc::VerifyImage(changed, Verify()), S_OK);
  // The bytes right next to the skipped fields are.
  for (size_t at : {size_t{l.checksumOffset} + 4, size_t{l.certEntryOffset} - 1, size_t{l.certEntryOffset} + 8}) {
    changed = image;
    changed[at] ^= 1;
    EXPECT_EQ(kxsc::VerifyImage(changed, Verify()), kxsc::TRUST_E_BAD_DIGEST) << at;
  }
}

}  // namespace
