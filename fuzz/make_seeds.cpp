// Writes the seeds that only the project's own classes make (the marker-keyed files, stream files and
// self-extracting packages) into KX_SEED_DIR/<harness>/. Not part of the test run: built on demand
// (target fuzz_make_seeds) when the file formats change, and its output committed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "archives/SfxArchive.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "formats/samples.h"

using namespace kxtest;

namespace {

std::string Out(const std::string& harness) {
  const char* base = getenv("KX_SEED_DIR");
  std::string dir = std::string(base ? base : ".") + "/" + harness;
  std::filesystem::create_directories(dir);
  return dir;
}

std::string Image(CBaseKesmoraFile* f) {
  CByteBuffer image;
  EXPECT_TRUE(f->SaveToBuffer(image));
  return StringOf(image);
}

// A protected file with one entry whose drawn signature is a signature file holding the picture.
std::string DrawnSignature(CFileManager& manager, const std::string& picture) {
  std::unique_ptr<CSignatureFile> s(Make<CSignatureFile>(manager, "KSGR"));
  s->SetTextA("Alice");
  s->m_image = BufferOf(picture);
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  f->m_info.m_strText1 = "signed.txt";
  PayloadEntry e = SampleEntry("Alice", 0);
  e.m_buffer1 = BufferOf(Image(s.get()));
  e.m_buffer2 = BufferOf("x");
  EXPECT_TRUE(f->m_info.m_body.AddEntry(e));
  return Image(f.get());
}

}  // namespace

TEST_F(FormatsTest, WriteFormatSeeds) {
  const std::string dir = Out("formats");
  CFileManager manager;
  for (const Kind& kind : kKinds) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    kind.fill(f.get());
    WriteFile(dir + "/sample." + kind.extension, Image(f.get()));
  }
  const std::string bmp = ReadFile(SourceDir() + "/fuzz/seeds/bmp/rgb24.bmp");
  ASSERT_FALSE(bmp.empty());
  WriteFile(dir + "/drawn-signature.tvx", DrawnSignature(manager, bmp));
  WriteStream(manager, dir + "/stream.tvx", {"abcdef", "ghij"});
  const std::string regress = SourceDir() + "/fuzz/regress/formats";
  std::filesystem::create_directories(regress);
  WriteFile(regress + "/drawn-signature-all-ones-mask.tvx",
            DrawnSignature(manager, ReadFile(SourceDir() + "/fuzz/regress/bmp/bitfields-all-ones-mask.bmp")));
}

TEST(Seeds, WritePackageSeeds) {
  const std::string dir = Out("sfx"), work = MakeTempDir("sfx");
  WriteFile(work + "/stub", "STUB");
  WriteFile(work + "/a.txt", "hello, hello, hello\n");
  WriteFile(work + "/empty", "");
  CSfxArchive two;
  ASSERT_TRUE(two.AddFile((work + "/a.txt").c_str()));
  ASSERT_TRUE(two.AddFile((work + "/empty").c_str()));
  ASSERT_EQ(two.Build((work + "/stub").c_str(), (dir + "/two-files.sfx").c_str(), nullptr, nullptr), CSfxArchive::kDone);
  CSfxArchive one;
  ASSERT_TRUE(one.AddFile((work + "/a.txt").c_str()));
  ASSERT_EQ(one.Build((work + "/stub").c_str(), (dir + "/one-file.sfx").c_str(), nullptr, nullptr), CSfxArchive::kDone);
}
