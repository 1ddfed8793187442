// Hostile images of every kind of file and hostile stream files: refused, or read without going past the
// bytes given. Built a second time with the address sanitizer.
#include <functional>
#include <memory>

#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "formats/samples.h"

using namespace kxtest;

namespace {

using FilesTest = FormatsTest;
using StreamTest = FormatsTest;

}  // namespace

// Every cut of a whole file, and lengths that point past the end, are refused without reading past the image.
TEST_F(FilesTest, TruncatedAndOversizedImagesRefused) {
  std::string dir = MakeTempDir();
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.marker);
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    kind.fill(f.get());
    CByteBuffer image;
    ASSERT_TRUE(f->SaveToBuffer(image));
    std::string whole = StringOf(image);
    const bool encrypted = std::string(kind.marker) == "KETV";
    for (size_t cut = 0; cut < whole.size(); cut += (cut < 64 || whole.size() - cut < 64) ? 1 : 97) {
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(whole.substr(0, cut)), true, nullptr));
      CByteBuffer digest;
      // The encrypted bytes carry no length: cut among them the file opens, and its digest tells.
      if (o && encrypted) EXPECT_FALSE(o->ComputeDigest(digest, true, 0)) << "cut at " << cut;
      else EXPECT_FALSE(o) << "cut at " << cut;
    }
    // A cut file on disk fails to load as well, or its digest.
    std::string path = dir + "/cut." + kind.extension;
    WriteFile(path, whole.substr(0, whole.size() - 1));
    std::unique_ptr<CBaseKesmoraFile> cutFile(manager.OpenFile(path.c_str()));
    CByteBuffer digest;
    EXPECT_TRUE(!cutFile || (encrypted && !cutFile->ComputeDigest(digest, true, 0)));
    WriteFile(path, whole);
    EXPECT_TRUE(std::unique_ptr<CBaseKesmoraFile>(manager.OpenFile(path.c_str())));
  }

  // Length words set to huge values, one at a time, in each kind's own fields.
  CFileManager manager;
  auto refused = [&](const char* marker, const std::function<void(CBaseKesmoraFile*)>& fill, size_t offset) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(marker));
    fill(f.get());
    CByteBuffer image;
    f->SaveToBuffer(image);
    std::string bytes = StringOf(image);
    for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, uint32_t(bytes.size())}) {
      std::string bad = bytes;
      PutWord(bad, offset, v);
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), true, nullptr));
      if (o) return false;
    }
    return true;
  };
  auto tvx = kKinds[0].fill;
  size_t l1 = 21 + 770;
  EXPECT_TRUE(refused("KXTV", tvx, l1));                                             // L1
  EXPECT_TRUE(refused("KSGR", kKinds[3].fill, 21 + 866));                            // image length
  EXPECT_TRUE(refused("KALF", kKinds[4].fill, 21));                                  // entry count
  EXPECT_TRUE(refused("KCLK", [](CBaseKesmoraFile* f) {
    dynamic_cast<COneClickFile*>(f)->m_oneClickRecord.Recipients().Add(BufferOf("abc"));
  }, 4220 - 20 + 4));                                                                 // certificate length
  // L2 and L3 and the first record's buffer length inside a filled protected file.
  std::unique_ptr<CTolvexBinaryFile> full(Make<CTolvexBinaryFile>(manager, "KXTV"));
  FillProtected(*full);
  CByteBuffer image;
  full->SaveToBuffer(image);
  std::string bytes = StringOf(image);
  uint32_t L1 = WordAt(bytes, l1);
  size_t l2 = l1 + 4 + L1;
  size_t l3 = l2 + 4 + WordAt(bytes, l2);
  size_t e = l3 + 4 + WordAt(bytes, l3);
  size_t firstRecordB1 = l1 + 4 + 3397 + 4 + 4 + 2610;
  for (size_t offset : {l2, l3, e, firstRecordB1}) {
    std::string bad = bytes;
    PutWord(bad, offset, 0xFFFFFFF0u);
    std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), true, nullptr));
    EXPECT_FALSE(o && offset != firstRecordB1) << offset;
    if (o && offset == firstRecordB1) {
      // The record list is carried as bytes; the bad record itself is refused when it is parsed.
      PayloadEntry entry;
      EXPECT_FALSE(dynamic_cast<CTolvexBinaryFile*>(o.get())->m_info.m_body.GetEntry(0, entry));
    }
  }
}

// Images shorter than a header, and the cases where nothing is left for the payload.
TEST_F(FilesTest, ShortImages) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  f->SetImage(BufferOf(std::string(20, 'K')));
  EXPECT_FALSE(f->ParseHeader());
  EXPECT_FALSE(f->ExtractBody());
  f->SetImage(BufferOf("KXTV" + std::string(17, '\0')));
  EXPECT_TRUE(f->ParseHeader());
  EXPECT_TRUE(f->ExtractBody());
  EXPECT_FALSE(f->Deserialize(1));
  // A file of only a header and a zero count: the non-empty load stops early.
  std::string dir = MakeTempDir();
  std::string path = dir + "/zero.alf";
  WriteFile(path, "KALF" + std::string(17, '\0') + std::string(4, '\0') + std::string(20, '\0'));
  std::unique_ptr<CBaseKesmoraFile> log(manager.CreateFileObject("KALF"));
  EXPECT_FALSE(log->LoadNonEmpty(path.c_str()));
  // A count that asks for more bytes than the file holds fails before anything is allocated for it.
  WriteFile(path, "KALF" + std::string(17, '\0') + "\xff\xff\xff\xf0" + std::string(20, '\0'));
  EXPECT_FALSE(log->LoadNonEmpty(path.c_str()));
}

// An encrypted protected file's bytes have no length of their own: a cut or changed one still opens, and its
// digest tells it from the file written.
TEST_F(FilesTest, EncryptedFileOpensAndItsDigestTells) {
  CFileManager manager;
  std::unique_ptr<CEncryptedTolvexBinaryFile> f(Make<CEncryptedTolvexBinaryFile>(manager, "KETV"));
  f->m_nCipherIndex = 5;
  f->m_encrypted = BufferOf(std::string(32, '\x11'));
  CByteBuffer image;
  ASSERT_TRUE(f->SaveToBuffer(image));
  std::string bytes = StringOf(image);
  std::string changed = bytes;
  changed[bytes.size() - 30] ^= 1;
  const struct {
    const char* what;
    std::string image;
    bool whole;
  } cases[] = {{"as written", bytes, true},
               {"one byte changed", changed, false},
               {"seven bytes cut", bytes.substr(0, bytes.size() - 7), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(c.image), true, nullptr));
    auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(o.get());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nCipherIndex, 5u);
    CByteBuffer digest;
    EXPECT_EQ(e->ComputeDigest(digest, true, 0), c.whole);
  }
}

// Random damage to every kind of file: whatever opens, and whatever its records parse to, nothing reads past
// the image (run under the address sanitizer to see it).
TEST_F(FilesTest, RandomDamageStaysInsideTheImage) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  CFileManager manager;
  for (const Kind& kind : kKinds) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    kind.fill(f.get());
    CByteBuffer image;
    ASSERT_TRUE(f->SaveToBuffer(image));
    std::string whole = StringOf(image);
    for (int i = 0; i < 400; ++i) {
      std::string bad = whole;
      for (int k = 0; k < 3; ++k) {
        size_t at = 21 + next() % (bad.size() - 25);
        static const uint32_t values[] = {0, 1, 0xFF, 0x7FFFFFFF, 0xFFFFFFFF, 5180, 4096};
        PutWord(bad, at, (next() & 1) ? values[next() % 7] : next());
      }
      bad.resize(bad.size() - next() % 3);
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), false, nullptr));
      if (auto* p = dynamic_cast<CTolvexBinaryFileBase*>(o.get())) {
        PayloadEntry entry;
        for (DWORD e = 0; e < p->m_info.m_body.GetEntryCount(); ++e) p->m_info.m_body.GetEntry(e, entry);
      }
      manager.Reset();
    }
  }
}

// Trailers and block lengths from the file never make a reader go past the file or into the object.
TEST_F(StreamTest, HostileTrailersAndBlocks) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  std::string good = dir + "/good.tvx";
  std::string image = WriteStream(manager, good, {"abcdef", "ghij"});
  std::string bytes = ReadFile(good);
  size_t trailer = bytes.size() - 64;
  struct Case {
    const char* what;
    std::string bytes;
    bool object;     // the trailing object is read
    int blocks;      // blocks read before a refusal
  };
  auto patched = [&](size_t offset, uint32_t v) {
    std::string b = bytes;
    PutWord(b, offset, v);
    return b;
  };
  const Case cases[] = {
      {"whole", bytes, true, 2},
      {"shorter than a trailer", bytes.substr(0, 63), false, 0},
      {"T is 0", patched(trailer, 0), false, 0},
      {"T past the start of the file", patched(trailer, uint32_t(bytes.size())), false, 0},
      {"T of 4 GiB", patched(trailer, 0xFFFFFFFFu), false, 0},
      {"T inside the object", patched(trailer, uint32_t(image.size() - 1)), false, 2},
      {"first block runs into the object", patched(0, 6 + 4 + 4 + 1), true, 0},
      {"second block of 4 GiB", patched(10, 0xFFFFFFFFu), true, 1},
      {"zero-length block", patched(10, 0), true, 1},
      {"cut inside the trailer", bytes.substr(0, bytes.size() - 1), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir + "/case.tvx";
    WriteFile(path, c.bytes);
    std::unique_ptr<CFileStream> s(manager.OpenStream(path.c_str()));
    std::unique_ptr<CBaseKesmoraFile> object(s->ReadTrailingObject());
    EXPECT_EQ(object != nullptr, c.object);
    CByteBuffer block;
    int n = 0;
    while (s->ReadUInt32Block(block)) ++n;
    if (c.object) {
      EXPECT_EQ(n, c.blocks);
    }
  }
}
