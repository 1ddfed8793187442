// Self-extracting packages: written by ours, read back by ours, by Python's zlib and by the extractor stub.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "archives/SfxArchive.h"
#include "packages/packagetest.h"
#include "support/testroot.h"

using kxtest::ReadFile;
using kxtest::WriteFile;

namespace {

using packagetest::Exists;

std::string Stub() { return kxtest::BuildDir() + "/lib/Extractor.Exe"; }

std::string Noise(size_t n, unsigned seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

struct Progress {
  std::vector<UINT> codes;
  std::vector<DWORD> percents;
};

int Record(UINT code, void* data, void* argument) {
  auto* p = static_cast<Progress*>(argument);
  p->codes.push_back(code);
  if (code == CSfxArchive::kPercent) p->percents.push_back(*static_cast<DWORD*>(data));
  return 0;
}

TEST(SfxPackage, BuildReadBackAndExtract) {
  std::string d = kxtest::MakeTempDir("sfx");
  std::vector<std::string> files = {d + "/readme.txt", d + "/empty.bin", d + "/big.dat"};
  WriteFile(files[0], std::string(5000, 'r') + "end");
  WriteFile(files[1], "");
  WriteFile(files[2], Noise(70000, 7) + std::string(30000, 'z'));

  CSfxArchive sfx;
  for (const std::string& f : files) ASSERT_TRUE(sfx.AddFile(f.c_str()));
  EXPECT_EQ(sfx.GetEntry(2).m_strName, "big.dat");
  EXPECT_EQ(sfx.GetEntry(2).m_nSize, 100000u);
  Progress progress;
  const std::string package = d + "/package.exe";
  // Under a mask that keeps others out: the package is the user's and the group's to run.
  const mode_t mask = umask(027);
  const DWORD built = sfx.Build(Stub().c_str(), package.c_str(), &Record, &progress);
  umask(mask);
  ASSERT_EQ(built, CSfxArchive::kDone);
  struct stat st;
  ASSERT_EQ(stat(package.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  // Each entry starts, reports its slices, and ends; the big file's percentages rise to 100.
  EXPECT_EQ(std::count(progress.codes.begin(), progress.codes.end(), CSfxArchive::kEntryStarted), 3);
  EXPECT_EQ(std::count(progress.codes.begin(), progress.codes.end(), CSfxArchive::kEntryDone), 3);
  ASSERT_FALSE(progress.percents.empty());
  EXPECT_EQ(progress.percents.back(), 100u);

  // The stub comes first, byte for byte; the first stream follows it at once.
  const std::string stub = ReadFile(Stub()), bytes = ReadFile(package);
  ASSERT_GT(bytes.size(), stub.size());
  EXPECT_EQ(bytes.compare(0, stub.size(), stub), 0);
  EXPECT_EQ(sfx.GetEntry(0).m_nStreamOffset, stub.size());
  EXPECT_GT(sfx.GetEntry(1).m_nCompressedSize, 0u);  // a zlib stream of nothing

  CSfxArchive reader;
  ASSERT_EQ(reader.ReadTrailer(package.c_str()), CSfxArchive::kDone);
  ASSERT_EQ(reader.GetCount(), 3);
  EXPECT_EQ(reader.GetTrailerLength(), 18 + (16 + 10) + (16 + 9) + (16 + 7));
  for (int i = 0; i < 3; ++i) {
    CSfxFileEntry a = sfx.GetEntry(i), b = reader.GetEntry(i);
    EXPECT_EQ(b.m_strName, a.m_strName);
    EXPECT_EQ(b.m_nSize, a.m_nSize);
    EXPECT_EQ(b.m_nCompressedSize, a.m_nCompressedSize);
    EXPECT_EQ(b.m_nStreamOffset, a.m_nStreamOffset);
    EXPECT_TRUE(b.m_strPath.IsEmpty());
  }

  // Python's zlib reads every stream as the file it came from.
  std::string out;
  std::string check = "python3 '" + kxtest::SourceDir() + "/tests/packages/sfx_check.py' '" + package + "'";
  for (const std::string& f : files) check += " '" + f + "'";
  ASSERT_EQ(kxtest::Run(check, &out), 0) << out;
  EXPECT_EQ(out, "OK 3\n");

  // The package runs and extracts itself; a file that exists is kept and reported.
  std::string target = kxtest::MakeTempDir("extracted");
  WriteFile(target + "/empty.bin", "mine");
  // Run as it was written.
  EXPECT_EQ(kxtest::Run("'" + package + "' '" + target + "'", &out), 2) << out;
  EXPECT_EQ(ReadFile(target + "/readme.txt"), ReadFile(files[0]));
  EXPECT_EQ(ReadFile(target + "/big.dat"), ReadFile(files[2]));
  EXPECT_EQ(ReadFile(target + "/empty.bin"), "mine");
  std::string listing;
  kxtest::Run("ls -A '" + target + "'", &listing);
  EXPECT_EQ(listing, "big.dat\nempty.bin\nreadme.txt\n");
}

TEST(SfxPackage, TrailerOfOneFiveByteName) {
  std::string d = kxtest::MakeTempDir("one");
  WriteFile(d + "/a.txt", "hello");
  WriteFile(d + "/stub", "STUB");
  CSfxArchive sfx;
  ASSERT_TRUE(sfx.AddFile((d + "/a.txt").c_str()));
  ASSERT_EQ(sfx.Build((d + "/stub").c_str(), (d + "/p").c_str(), nullptr, nullptr), CSfxArchive::kDone);
  CSfxArchive reader;
  ASSERT_EQ(reader.ReadTrailer((d + "/p").c_str()), CSfxArchive::kDone);
  EXPECT_EQ(reader.GetTrailerLength(), 39);
  const std::string bytes = ReadFile(d + "/p");
  const CSfxFileEntry e = reader.GetEntry(0);
  EXPECT_EQ(bytes.size(), 4 + e.m_nCompressedSize + 39u);
  EXPECT_EQ(bytes.substr(bytes.size() - 14), "1.10!ZUNT_SFX!");
}

TEST(SfxPackage, TableLimitAndEmptyBuild) {
  std::string d = kxtest::MakeTempDir("limit");
  WriteFile(d + "/f", "x");
  WriteFile(d + "/stub", "STUB");
  CSfxArchive sfx;
  // Nothing to pack: the output is not touched.
  EXPECT_EQ(sfx.Build((d + "/stub").c_str(), (d + "/p").c_str(), nullptr, nullptr), CSfxArchive::kNoEntries);
  EXPECT_FALSE(Exists(d + "/p"));
  EXPECT_FALSE(sfx.AddFile((d + "/missing").c_str()));
  EXPECT_FALSE(sfx.AddFile(d.c_str()));  // a folder is no file
  EXPECT_EQ(sfx.GetCount(), 0);
  for (int i = 0; i < CSfxArchive::kMaxEntries; ++i) ASSERT_TRUE(sfx.AddFile((d + "/f").c_str()));
  EXPECT_FALSE(sfx.AddFile((d + "/f").c_str()));
  EXPECT_EQ(sfx.GetCount(), 256);
  EXPECT_TRUE(sfx.GetEntry(256).m_strName.IsEmpty());
}

TEST(SfxPackage, FailedBuildsLeaveNoPackage) {
  std::string d = kxtest::MakeTempDir("fail");
  WriteFile(d + "/a", "aaaa");
  WriteFile(d + "/b", "bbbb");
  WriteFile(d + "/stub", "STUB");
  CSfxArchive sfx;
  ASSERT_TRUE(sfx.AddFile((d + "/a").c_str()));
  ASSERT_TRUE(sfx.AddFile((d + "/b").c_str()));
  EXPECT_EQ(sfx.Build((d + "/nostub").c_str(), (d + "/p").c_str(), nullptr, nullptr), CSfxArchive::kStubCopyFailed);
  EXPECT_FALSE(Exists(d + "/p"));
  // A source that went away between adding and building stops the payload; the stub and the first
  // stream do not stay behind as a package without an index.
  unlink((d + "/b").c_str());
  EXPECT_EQ(sfx.Build((d + "/stub").c_str(), (d + "/p").c_str(), nullptr, nullptr), CSfxArchive::kSourceOpenFailed);
  EXPECT_FALSE(Exists(d + "/p"));
}

TEST(SfxPackage, ReaderRefusals) {
  std::string d = kxtest::MakeTempDir("read");
  CSfxArchive reader;
  EXPECT_EQ(reader.ReadTrailer((d + "/none").c_str()), CSfxArchive::kCannotOpen);
  WriteFile(d + "/plain", "just some bytes, no package here");
  EXPECT_EQ(reader.ReadTrailer((d + "/plain").c_str()), CSfxArchive::kNotPackage);
  WriteFile(d + "/short", "!ZUNT_SFX!");
  EXPECT_EQ(reader.ReadTrailer((d + "/short").c_str()), CSfxArchive::kNotPackage);
  WriteFile(d + "/wrongversion", std::string("STUB") + std::string(4, '\1') + "1.09!ZUNT_SFX!");
  EXPECT_EQ(reader.ReadTrailer((d + "/wrongversion").c_str()), CSfxArchive::kNotPackage);
  WriteFile(d + "/zero", std::string("STUB") + std::string(4, '\0') + "1.10!ZUNT_SFX!");
  EXPECT_EQ(reader.ReadTrailer((d + "/zero").c_str()), CSfxArchive::kNoEntries);
  EXPECT_EQ(reader.GetCount(), 0);

  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string tail = "1.10!ZUNT_SFX!";
  struct Case {
    const char* what;
    std::string bytes;
  } damaged[] = {
      {"count above the table", "STUB" + u32(257) + tail},
      {"count beyond the file", "STUB" + u32(3) + tail},
      {"name longer than the buffer", u32(0) + u32(1) + u32(1) + std::string(1100, 'n') + u32(1100) + u32(1) + tail},
      {"name length past the start", "ab" + u32(10) + u32(1) + tail},
      {"stream past the trailer", "STUB" + u32(2) + u32(5) + u32(100) + "x" + u32(1) + u32(1) + tail},
      {"name with a folder", "STUB" + u32(0) + u32(0) + u32(0) + "../x" + u32(4) + u32(1) + tail},
  };
  for (const Case& c : damaged) {
    WriteFile(d + "/damaged", c.bytes);
    EXPECT_EQ(reader.ReadTrailer((d + "/damaged").c_str()), CSfxArchive::kDamaged) << c.what;
    EXPECT_EQ(reader.GetCount(), 0) << c.what;
  }
}

// A package whose index says 10 bytes for a stream of 8 MB: the stub stops at the declared size (a 1 MB file
// size limit would kill it otherwise) and leaves no partial file behind.
TEST(SfxPackage, StreamLongerThanItsIndexIsCutAtTheDeclaredSize) {
  std::string d = kxtest::MakeTempDir("bomb");
  const std::string zeros(8 << 20, '\0');
  uLongf packedLength = compressBound(zeros.size());
  std::string packed(packedLength, '\0');
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLength,
                      reinterpret_cast<const Bytef*>(zeros.data()), zeros.size(), 9),
            Z_OK);
  packed.resize(packedLength);
  std::string package = ReadFile(Stub());
  kx::sfx::TrailerEntry e;
  e.name = "bomb.bin";
  e.size = 10;
  e.compressedSize = static_cast<uint32_t>(packed.size());
  e.streamOffset = static_cast<uint32_t>(package.size());
  const std::vector<unsigned char> trailer = kx::sfx::MakeTrailer({e});
  package += packed + std::string(trailer.begin(), trailer.end());
  WriteFile(d + "/package.exe", package);
  chmod((d + "/package.exe").c_str(), 0755);
  const std::string target = kxtest::MakeTempDir("bomb-out");
  std::string out;
  EXPECT_EQ(kxtest::Run("ulimit -f 1024; '" + d + "/package.exe' '" + target + "' 2>&1", &out), 2) << out;
  EXPECT_NE(out.find("bomb.bin: not extracted: it inflates to more than the package's index says"),
            std::string::npos)
      << out;
  std::string listing;
  kxtest::Run("ls -A '" + target + "'", &listing);
  EXPECT_EQ(listing, "");
}

}  // namespace
