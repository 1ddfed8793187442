// Stream files: blocks, the trailing object and the trailer, and what the manager makes of them.
#include <memory>

#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "formats/samples.h"

using namespace kxtest;

namespace {

using StreamTest = FormatsTest;

}  // namespace

TEST_F(StreamTest, BlocksThenObjectThenTrailer) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  std::string path = dir + "/large.tvx";
  std::vector<std::string> blocks = {"first block", std::string(70000, 'b'), "z"};
  std::string image = WriteStream(manager, path, blocks);
  std::string bytes = ReadFile(path);
  uint32_t t = WordAt(bytes, bytes.size() - 64);
  EXPECT_EQ(t, image.size());
  EXPECT_EQ(bytes.substr(bytes.size() - 60), std::string(60, '\0'));
  EXPECT_EQ(WordAt(bytes, 0), 11u);
  // The trailing object as the command line cuts it out.
  std::string cut;
  ASSERT_EQ(kxtest::Run("tail -c " + std::to_string(t + 64) + " '" + path + "' | head -c " + std::to_string(t) + " > '" +
                    dir + "/object.tvx'"),
            0);
  EXPECT_EQ(ReadFile(dir + "/object.tvx"), image);

  std::unique_ptr<CFileStream> in(manager.OpenStream(path.c_str()));
  ASSERT_TRUE(in->IsOpen());
  CByteBuffer block;
  EXPECT_FALSE(in->ReadUInt32Block(block));  // no trailer read yet
  std::unique_ptr<CBaseKesmoraFile> object(in->ReadFileObject());
  ASSERT_TRUE(object);
  EXPECT_STREQ(dynamic_cast<CTolvexBinaryFile*>(object.get())->m_info.m_strText1, "large.bin");
  EXPECT_EQ(object->GetContentHandler(), nullptr);
  EXPECT_EQ(in->ReadTrailingObject(), nullptr);  // the stream still holds the block
  for (const std::string& b : blocks) {
    ASSERT_TRUE(in->ReadUInt32Block(block));
    EXPECT_EQ(StringOf(block), b);
  }
  EXPECT_FALSE(in->ReadUInt32Block(block));  // the trailing object starts here
  EXPECT_EQ(in->GetSize(), bytes.size());
  EXPECT_TRUE(in->Close());
  EXPECT_FALSE(in->Close());
  EXPECT_FALSE(in->Seek(0, 0));

  // The family's open and probe take the stream file like a plain one.
  EXPECT_TRUE(manager.IsKnownFile(path.c_str()));
  std::unique_ptr<CBaseKesmoraFile> opened(manager.OpenFile(path.c_str()));
  ASSERT_TRUE(opened);
  EXPECT_STREQ(dynamic_cast<CTolvexBinaryFile*>(opened.get())->m_info.m_strText1, "large.bin");
  EXPECT_STREQ(opened->GetFilePath().GetAnsi(), path.c_str());
  CByteBuffer digest;
  EXPECT_TRUE(opened->ComputeDigest(digest, true, 0));
  std::unique_ptr<CBaseKesmoraFile> header(manager.OpenFileHeader(path.c_str()));
  EXPECT_TRUE(header);
}

TEST_F(StreamTest, ChunksSeeksAndRawBytes) {
  CFileManager manager;
  std::string path = MakeTempDir() + "/raw.bin";
  WriteFile(path, std::string("\0\0\0\x05", 4) + "hello");
  std::unique_ptr<CFileStream> s(manager.OpenStream(path.c_str()));
  CByteBuffer chunk;
  ASSERT_TRUE(s->ReadChunk(4, chunk));
  EXPECT_EQ(StringOf(chunk), std::string("\0\0\0\x05", 4));
  ASSERT_TRUE(s->ReadChunk(100, chunk));
  EXPECT_EQ(StringOf(chunk), "hello");
  EXPECT_FALSE(s->ReadChunk(100, chunk));
  EXPECT_FALSE(s->ReadChunk(0, chunk));
  EXPECT_FALSE(s->Seek(3, 0));
  EXPECT_TRUE(s->Seek(2, -5));
  EXPECT_EQ(s->GetPosition(), 4u);
  // Too short for a trailer: no object.
  EXPECT_EQ(s->ReadTrailingObject(), nullptr);

  // A hand-made stream: one 5-byte block, then a protected file's image and its trailer.
  s.reset();
  std::unique_ptr<CFileStream> w(manager.CreateStream(path.c_str()));
  EXPECT_FALSE(w->WriteUInt32Block(CByteBuffer()));
  EXPECT_TRUE(w->WriteRaw(BufferOf(std::string("\0\0\0\x05", 4) + "hello")));
  std::unique_ptr<CBaseKesmoraFile> object(manager.CreateFileObject("KXTV"));
  EXPECT_FALSE(w->WriteTrailingObject(nullptr));
  ASSERT_TRUE(w->WriteTrailingObject(object.get()));
  w.reset();
  s.reset(manager.OpenStream(path.c_str()));
  std::unique_ptr<CBaseKesmoraFile> back(s->ReadTrailingObject());
  ASSERT_TRUE(back);
  CByteBuffer block;
  ASSERT_TRUE(s->ReadUInt32Block(block));
  EXPECT_EQ(StringOf(block), "hello");
  EXPECT_FALSE(s->ReadUInt32Block(block));
  CFileStream verified;
  EXPECT_TRUE(verified.Open(path.c_str(), true, true, 16));

  // AppendFile copies a source to the end of a destination.
  std::string src = MakeTempDir("copy") + "/src", dst = Root() + "/copy/dst";
  WriteFile(src, std::string(50000, 's'));
  WriteFile(dst, "head:");
  EXPECT_TRUE(CFileStream::AppendFile(src.c_str(), dst.c_str()));
  EXPECT_EQ(ReadFile(dst), "head:" + std::string(50000, 's'));
  EXPECT_FALSE(CFileStream::AppendFile((src + ".missing").c_str(), dst.c_str()));
}

// Positions past 4 GiB (a sparse file): reads and the trailer land where they should, sizes do not wrap.
TEST_F(StreamTest, BeyondFourGigabytes) {
  CFileManager manager;
  std::string path = MakeTempDir() + "/sparse.tvx";
  std::unique_ptr<CBaseKesmoraFile> object(manager.CreateFileObject("KSGR"));
  CByteBuffer image;
  ASSERT_TRUE(object->SaveToBuffer(image));
  std::string trailer(64, '\0');
  PutWord(trailer, 0, image.GetLength());
  std::string tail = StringOf(image) + trailer;
  WriteFile(path + ".tail", tail);
  const uint64_t hole = 4294967300ull;
  ASSERT_EQ(kxtest::Run("truncate -s " + std::to_string(hole) + " '" + path + "' && cat '" + path + ".tail' >> '" +
                        path + "'"),
            0);

  std::unique_ptr<CFileStream> s(manager.OpenStream(path.c_str()));
  ASSERT_TRUE(s->IsOpen());
  uint64_t size = hole + tail.size();
  EXPECT_EQ(s->GetSize64(), size);
  EXPECT_EQ(s->GetSize(), 0xFFFFFFFFu);
  std::unique_ptr<CBaseKesmoraFile> back(s->ReadTrailingObject());
  ASSERT_TRUE(back);
  EXPECT_EQ(s->GetTrailingOffset(), hole);
  ASSERT_TRUE(s->Seek(2, -64));
  EXPECT_EQ(s->GetPosition(), size - 64);
  CByteBuffer chunk;
  ASSERT_TRUE(s->ReadChunk(4, chunk));
  EXPECT_EQ(WordAt(StringOf(chunk), 0), image.GetLength());
  // The hole reads as a zero-length block: no block at all.
  CByteBuffer block;
  EXPECT_FALSE(s->ReadUInt32Block(block));
}
