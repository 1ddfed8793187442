// The archive object on single-file archives: round trips, entry rules, deleting, comments, attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

namespace {

struct Entry {
  std::string name, data;
  int level;
};

std::string Zip(const std::string& dir, const char* name = "a.zip") { return dir + "/" + name; }

// Adds each entry from memory through OpenNewFile/WriteNewFile, in chunks.
void AddMemory(CZipArchive& zip, const Entry& e, DWORD chunk = 7000) {
  CZipFileHeader h;
  h.SetFileName(e.name.c_str());
  h.SetTime(1234567890);
  ASSERT_TRUE(zip.OpenNewFile(h, e.level));
  for (size_t at = 0; at < e.data.size(); at += chunk)
    ASSERT_TRUE(zip.WriteNewFile(e.data.data() + at, static_cast<DWORD>(std::min<size_t>(chunk, e.data.size() - at))));
  ASSERT_TRUE(zip.CloseNewFile());
}

std::string ReadEntry(CZipArchive& zip, WORD index, DWORD chunk = 4096) {
  std::string out;
  if (!zip.OpenFile(index)) return "<not opened>";
  std::string buf(chunk, '\0');
  for (;;) {
    DWORD n = zip.ReadFile(buf.data(), chunk);
    out.append(buf.data(), n);
    if (n < chunk) break;
  }
  EXPECT_EQ(zip.CloseFile(), 1);
  return out;
}

const std::vector<Entry>& Sample() {
  static const std::vector<Entry> entries = {
      {"stored.txt", Text(30000, 1), 0},  {"fast.txt", Text(50000, 2), 1},   {"two.txt", Text(5000, 3), 2},
      {"normal.bin", Noise(40000, 4), 6}, {"best.txt", Text(70000, 5), 9},   {"default.txt", Text(9000, 6), -1},
      {"empty.txt", "", 6},               {"sub\\inner.txt", Text(100, 7), 6},
  };
  return entries;
}

}  // namespace

TEST(ZipArchive, RoundTripOfEveryLevel) {
  std::string dir = kxtest::MakeTempDir();
  for (bool password : {false, true}) {
    std::string path = Zip(dir, password ? "p.zip" : "a.zip");
    {
      CZipArchive zip;
      zip.Open(path.c_str(), CZipArchive::zipCreate);
      ASSERT_TRUE(zip.SetPassword(password ? "secret" : nullptr));
      for (const auto& e : Sample()) AddMemory(zip, e);
      zip.Close();
    }
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipOpenReadOnly);
    ASSERT_EQ(zip.GetCount(), static_cast<int>(Sample().size()));
    zip.SetPassword(password ? "secret" : nullptr);
    for (WORD i = 0; i < Sample().size(); ++i) {
      CZipFileHeader h;
      ASSERT_TRUE(zip.GetFileInfo(h, i));
      const Entry& e = Sample()[i];
      EXPECT_STREQ(h.GetFileName(), e.name.c_str());
      EXPECT_EQ(h.m_uUncomprSize, e.data.size());
      EXPECT_EQ(h.m_uMethod, e.level == 0 ? 0 : 8);
      EXPECT_EQ(h.IsEncrypted(), password);
      EXPECT_EQ(h.IsDataDescriptor(), password);  // every encrypted entry has a descriptor
      EXPECT_EQ(h.GetTime(), 1234567890);
      EXPECT_EQ(ReadEntry(zip, i), e.data) << e.name;
      EXPECT_EQ(ReadEntry(zip, i, 1), e.data) << e.name;  // byte by byte
      EXPECT_TRUE(zip.TestFile(i));
    }
    // Stored and encrypted: the 12-byte header counts in the compressed size.
    CZipFileHeader stored;
    zip.GetFileInfo(stored, 0);
    EXPECT_EQ(stored.m_uComprSize, Sample()[0].data.size() + (password ? 12 : 0));
    zip.Close();
  }
  // Plain entries of a single-file archive: flag 0, no descriptor, CRC and sizes in the local header.
  std::string bytes = Bytes(Zip(dir));
  ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
  EXPECT_EQ(Get16(bytes, 6), 0u);
  EXPECT_EQ(Get16(bytes, 8), 0u);
  EXPECT_EQ(Get32(bytes, 18), 30000u);
  EXPECT_EQ(Get32(bytes, 22), 30000u);
  EXPECT_EQ(Find(bytes, "PK\x07\x08"), std::string::npos);
  // Encrypted ones: flag bits 0 and 3, a descriptor with its signature, and the values in the local header too.
  bytes = Bytes(Zip(dir, "p.zip"));
  EXPECT_EQ(Get16(bytes, 6), 9u);
  EXPECT_EQ(Get32(bytes, 18), 30012u);
  size_t d = Find(bytes, "PK\x07\x08");
  ASSERT_NE(d, std::string::npos);
  EXPECT_EQ(Get32(bytes, d + 8), 30012u);
  EXPECT_EQ(Get32(bytes, d + 4), Get32(bytes, 14));
}

TEST(ZipArchive, PasswordRules) {
  std::string dir = kxtest::MakeTempDir();
  std::string path = Zip(dir);
  {
    CZipArchive zip;
    EXPECT_TRUE(zip.SetPassword("kept?"));  // allowed while closed...
    zip.Open(path.c_str(), CZipArchive::zipCreate);
    EXPECT_STREQ(zip.GetPassword(), "");  // ...but opening forgets it
    EXPECT_TRUE(zip.SetPassword("\x01\xff secret"));  // any byte value
    CZipFileHeader h;
    h.SetFileName("x");
    ASSERT_TRUE(zip.OpenNewFile(h, 6));
    EXPECT_FALSE(zip.SetPassword("other"));  // not while an entry is open
    ASSERT_TRUE(zip.WriteNewFile("hello", 5));
    ASSERT_TRUE(zip.CloseNewFile());
    zip.Close();
  }
  CZipArchive zip;
  zip.Open(path.c_str());
  EXPECT_FALSE(zip.OpenFile(0));  // encrypted and no password: refused, nothing raised
  EXPECT_EQ(zip.CloseFile(), 0);
  zip.SetPassword("wrong");
  EXPECT_EQ(CauseOf([&] { zip.OpenFile(0); }), CZipException::badPassword);
  zip.Close(true);
  zip.Open(path.c_str());
  zip.SetPassword("\x01\xff secret");
  EXPECT_EQ(ReadEntry(zip, 0), "hello");
  zip.Close();
}

TEST(ZipArchive, NamesAndFolders) {
  std::string dir = kxtest::MakeTempDir();
  std::string src = kxtest::MakeTempDir("src");
  mkdir((src + "/folder").c_str(), 0755);
  kxtest::WriteFile(src + "/folder/f.txt", "abc");
  std::string path = Zip(dir);
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  zip.SetPassword("secret");
  CZipFileHeader unnamed;
  ASSERT_TRUE(zip.OpenNewFile(unnamed, 6));
  ASSERT_TRUE(zip.CloseNewFile());
  EXPECT_FALSE(zip.AddNewFile((src + "/folder/").c_str(), 6, false));  // its name would be empty
  zip.SetRootPath((src + "//").c_str());
  EXPECT_TRUE(zip.AddNewFile((src + "/folder").c_str(), 6, false));
  EXPECT_TRUE(zip.AddNewFile((src + "/folder/f.txt").c_str(), 6, false));
  EXPECT_TRUE(zip.AddNewFile((src + "/folder/f.txt").c_str(), 6, true));  // full path: folders without root
  EXPECT_FALSE(zip.AddNewFile((src + "/missing").c_str(), 6, false));
  EXPECT_FALSE(zip.AddNewFile((src + "/folder/f.txt").c_str(), 6, false, nullptr, nullptr, 0));
  CZipFileHeader h;
  zip.GetFileInfo(h, 0);
  EXPECT_STREQ(h.GetFileName(), "file1");
  zip.GetFileInfo(h, 1);
  EXPECT_STREQ(h.GetFileName(), "folder\\");  // a folder: "\" in memory...
  EXPECT_TRUE(h.IsDirectory());
  EXPECT_FALSE(h.IsEncrypted());  // ...never encrypted, stored, empty
  EXPECT_EQ(h.m_uMethod, 0);
  EXPECT_EQ(h.m_uComprSize, 0u);
  EXPECT_TRUE(zip.SetPassword(nullptr));
  zip.GetFileInfo(h, 2);
  EXPECT_STREQ(h.GetFileName(), "folder\\f.txt");
  EXPECT_TRUE(h.IsEncrypted());
  zip.GetFileInfo(h, 3);
  CString full((src.substr(1) + "/folder/f.txt").c_str());
  full.Replace('/', '\\');
  EXPECT_STREQ(h.GetFileName(), full);
  zip.Close();
  // ...and "/" in the archive.
  std::string listing;
  ASSERT_EQ(Sh("unzip -Z1 " + Quote(path), &listing), 0);
  EXPECT_NE(listing.find("\nfolder/\nfolder/f.txt\n"), std::string::npos) << listing;
  EXPECT_EQ(Sh("unzip -P secret -tq " + Quote(path)), 0);
}

TEST(ZipArchive, EmptyArchivesAndUnsignedDescriptors) {
  std::string dir = kxtest::MakeTempDir();
  std::string empty = Zip(dir, "empty.zip");
  {
    CZipArchive zip;
    zip.Open(empty.c_str(), CZipArchive::zipCreate);
    zip.Close();
  }
  EXPECT_EQ(Bytes(empty), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  CZipArchive zip;
  zip.Open(empty.c_str());
  EXPECT_EQ(zip.GetCount(), 0);
  zip.Close();
  // A data descriptor may come without its signature (12 bytes).
  std::string path = Zip(dir);
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  zip.SetPassword("pw");
  AddMemory(zip, {"only.txt", Text(5000, 1), 6});
  zip.Close();
  std::string b = Bytes(path);
  size_t d = Find(b, "PK\x07\x08");
  ASSERT_NE(d, std::string::npos);
  b.erase(d, 4);
  size_t eocd = b.rfind("PK\x05\x06");
  Put32(b, eocd + 16, Get32(b, eocd + 16) - 4);
  Put(path, b);
  zip.Open(path.c_str());
  zip.SetPassword("pw");
  EXPECT_EQ(ReadEntry(zip, 0), Text(5000, 1));
  zip.Close();
}

TEST(ZipArchive, WrongStateCallsChangeNothing) {
  std::string dir = kxtest::MakeTempDir();
  CZipArchive zip;
  CZipFileHeader h;
  EXPECT_FALSE(zip.OpenNewFile(h));
  EXPECT_FALSE(zip.WriteNewFile("x", 1));
  EXPECT_FALSE(zip.CloseNewFile());
  EXPECT_FALSE(zip.OpenFile(0));
  EXPECT_EQ(zip.ReadFile(&h, 1), 0u);
  EXPECT_EQ(zip.CloseFile(), 0);
  EXPECT_FALSE(zip.GetFileInfo(h, 0));
  EXPECT_FALSE(zip.SetGlobalComment("c"));
  EXPECT_STREQ(zip.GetGlobalComment(), "");
  EXPECT_TRUE(zip.IsClosed());
  EXPECT_TRUE(zip.IsClosed(false));
  zip.Close();  // closing a closed archive does nothing
  std::string path = Zip(dir);
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  EXPECT_FALSE(zip.IsClosed());
  zip.Open((dir + "/other.zip").c_str(), CZipArchive::zipCreate);  // ignored while open
  EXPECT_FALSE(Exists(dir + "/other.zip"));
  AddMemory(zip, {"a", "aaa", 6});
  AddMemory(zip, {"b", "bbb", 6});
  EXPECT_FALSE(zip.ExtractFile(0, dir.c_str(), true, nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(zip.ExtractFile(0, nullptr));
  ASSERT_TRUE(zip.OpenFile(0));
  EXPECT_FALSE(zip.OpenNewFile(h));
  Delete(zip, {1});  // not while an entry is open
  EXPECT_EQ(zip.GetCount(), 2);
  char c[2];
  EXPECT_EQ(zip.ReadFile(c, 2), 2u);
  EXPECT_EQ(zip.CloseFile(), -1);  // not all read: no CRC check
  Delete(zip, {});
  EXPECT_EQ(zip.GetCount(), 2);
  zip.Close();
  EXPECT_EQ(Sh("unzip -tq " + Quote(path)), 0);
}

TEST(ZipArchive, DeletingEntriesMovesTheRestDown) {
  std::string dir = kxtest::MakeTempDir();
  std::string stub = Noise(20, 9);
  for (bool withStub : {false, true}) {
    std::string path = Zip(dir, withStub ? "s.zip" : "a.zip");
    {
      CZipArchive zip;
      zip.Open(path.c_str(), CZipArchive::zipCreate);
      for (int i = 0; i < 6; ++i) AddMemory(zip, {"e" + std::to_string(i), Text(3000 + i * 500, i), i % 2 ? 0 : 6});
      zip.Close();
    }
    if (withStub) Put(path, stub + Bytes(path));  // a program stub in front, offsets left as they were
    CZipArchive zip;
    zip.Open(path.c_str());
    Delete(zip, {4, 1, 5, 1});  // unsorted, repeated, with the last entry
    ASSERT_EQ(zip.GetCount(), 3);
    EXPECT_EQ(CauseOf([&] { Delete(zip, {0, 7}); }), CZipException::internal);
    EXPECT_EQ(zip.GetCount(), 3);  // a bad index changes nothing
    zip.Close();
    zip.Open(path.c_str());
    const int kept[] = {0, 2, 3};
    for (WORD i = 0; i < 3; ++i) {
      CZipFileHeader h;
      zip.GetFileInfo(h, i);
      EXPECT_STREQ(h.GetFileName(), ("e" + std::to_string(kept[i])).c_str());
      EXPECT_EQ(ReadEntry(zip, i), Text(3000 + kept[i] * 500, kept[i]));
    }
    zip.Close();
    EXPECT_EQ(Bytes(path).compare(0, withStub ? 20 : 0, stub, 0, withStub ? 20 : 0), 0);
    EXPECT_EQ(Sh("python3 -c \"import zipfile,sys; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)\" " +
                 Quote(path)),
              0);
  }
}

TEST(ZipArchive, CommentsAndReadOnlyArchives) {
  std::string dir = kxtest::MakeTempDir();
  std::string path = Zip(dir);
  {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreate);
    AddMemory(zip, {"a.txt", "alpha", 6});
    AddMemory(zip, {"b.txt", "beta", 0});
    EXPECT_TRUE(zip.SetGlobalComment("archive comment"));
    EXPECT_TRUE(zip.SetFileComment(1, "entry comment"));
    EXPECT_FALSE(zip.SetFileComment(2, "no such entry"));
    zip.Close();
  }
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipOpenReadOnly);
  EXPECT_STREQ(zip.GetGlobalComment(), "archive comment");
  CZipFileHeader h;
  zip.GetFileInfo(h, 1);
  EXPECT_STREQ(h.GetComment(), "entry comment");
  // An archive opened read-only cannot change.
  EXPECT_FALSE(zip.SetGlobalComment("x"));
  EXPECT_FALSE(zip.SetFileComment(0, "x"));
  Delete(zip, {0});
  EXPECT_EQ(zip.GetCount(), 2);
  EXPECT_FALSE(zip.OpenNewFile(h));
  zip.Close();
  // Changing a comment of an existing archive rewrites its directory.
  zip.Open(path.c_str());
  EXPECT_TRUE(zip.SetGlobalComment("second"));
  EXPECT_TRUE(zip.SetFileComment(0, "first entry"));
  zip.Close();
  std::string out;
  ASSERT_EQ(Sh("unzip -z " + Quote(path), &out), 0);
  EXPECT_NE(out.find("second"), std::string::npos);
  ASSERT_EQ(Sh("zipinfo -v " + Quote(path), &out), 0);
  EXPECT_NE(out.find("first entry"), std::string::npos);
  EXPECT_NE(out.find("entry comment"), std::string::npos);
}

TEST(ZipArchive, ExtractionSetsTimesAndAttributes) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dest = kxtest::MakeTempDir("dest");
  mkdir((src + "/ro-folder").c_str(), 0755);
  kxtest::WriteFile(src + "/ro-folder/ro.txt", "read only");
  kxtest::WriteFile(src + "/rw.txt", "writable");
  ZipSetFileModTime((src + "/rw.txt").c_str(), 946684800);  // 2000-01-01
  chmod((src + "/ro-folder/ro.txt").c_str(), 0444);
  std::string path = Zip(kxtest::MakeTempDir());
  {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreate);
    CZipFileHeader folder;
    folder.SetFileName("ro-folder");
    folder.SetSystemAttr(0x11, 0);  // a read-only folder from an archive made elsewhere
    ASSERT_TRUE(zip.OpenNewFile(folder, 0));
    ASSERT_TRUE(zip.CloseNewFile());
    zip.SetRootPath(src.c_str());
    ASSERT_TRUE(zip.AddNewFile((src + "/ro-folder/ro.txt").c_str(), 6, false));
    ASSERT_TRUE(zip.AddNewFile((src + "/rw.txt").c_str(), 6, false));
    zip.Close();
  }
  CZipArchive zip;
  zip.Open(path.c_str());
  ASSERT_TRUE(ExtractAll(zip, dest));
  zip.Close();
  struct stat st;
  ASSERT_EQ(stat((dest + "/ro-folder").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);  // folders stay usable
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  ASSERT_EQ(stat((dest + "/ro-folder/ro.txt").c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_IWUSR);
  ASSERT_EQ(stat((dest + "/rw.txt").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_EQ(st.st_mtime, 946684800);
  EXPECT_EQ(kxtest::ReadFile(dest + "/rw.txt"), "writable");
  chmod((src + "/ro-folder/ro.txt").c_str(), 0644);
  chmod((dest + "/ro-folder/ro.txt").c_str(), 0644);
}

TEST(ZipArchive, StoppedAndRefusedAdds) {
  std::string dir = kxtest::MakeTempDir();
  std::string big = dir + "/big.bin";
  kxtest::WriteFile(big, Noise(200000, 3));
  std::string path = Zip(dir);
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  int calls = 0;
  auto stop = [](DWORD total, DWORD done, void* data) {
    ++*static_cast<int*>(data);
    return done < total / 2;
  };
  EXPECT_FALSE(zip.AddNewFile(big.c_str(), 6, false, stop, &calls, 10000));  // stopped: reported
  EXPECT_GT(calls, 5);
  // A source of 4 GiB or more cannot be described by the format: refused before anything is written.
  std::string huge = dir + "/huge.bin";
  int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(fd, 0x100000000ll), 0);
  close(fd);
  EXPECT_EQ(CauseOf([&] { zip.AddNewFile(huge.c_str(), 0, false); }), CZipException::tooBig);
  EXPECT_EQ(zip.GetCount(), 1);
  AddMemory(zip, {"after", "still fine", 6});
  zip.Close();
  EXPECT_EQ(Sh("unzip -tq " + Quote(path)), 0);
  // The stopped entry is complete, only shorter.
  zip.Open(path.c_str());
  CZipFileHeader h;
  zip.GetFileInfo(h, 0);
  EXPECT_GT(h.m_uUncomprSize, 0u);
  EXPECT_LT(h.m_uUncomprSize, 200000u);
  EXPECT_EQ(ReadEntry(zip, 0), Noise(200000, 3).substr(0, h.m_uUncomprSize));
  zip.Close();
}

// Extraction over an existing file: a failed one leaves the old file whole (and nothing beside it), a
// successful one replaces it and keeps who may read it.
// The end record counts entries in 16 bits: the archive takes 65,535 and refuses the next through both ways of
// adding one, says it is full, and what it holds is whole (Python's zipfile reads every entry).
TEST(ZipArchive, TheEntryAfterTheMostAnArchiveHoldsIsRefused) {
  std::string dir = kxtest::MakeTempDir();
  std::string src = kxtest::MakeTempDir("src");
  kxtest::WriteFile(src + "/one.txt", "one");
  std::string path = Zip(dir);
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  for (int i = 0; i < CZipArchive::kMaxEntries; ++i) {
    CZipFileHeader h;
    h.SetFileName(("e" + std::to_string(i)).c_str());
    ASSERT_TRUE(zip.OpenNewFile(h, 0)) << i;
    ASSERT_TRUE(zip.CloseNewFile()) << i;
  }
  EXPECT_TRUE(zip.IsFull());
  CZipFileHeader more;
  more.SetFileName("more");
  EXPECT_FALSE(zip.OpenNewFile(more, 0));
  EXPECT_FALSE(zip.AddNewFile((src + "/one.txt").c_str(), 6, false));
  EXPECT_EQ(zip.GetCount(), CZipArchive::kMaxEntries);
  zip.Close();
  std::string out;
  EXPECT_EQ(Sh("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); print(len(z.namelist()), "
               "z.testzip())\" " + Quote(path), &out),
            0);
  EXPECT_EQ(out, "65535 None\n");
}

TEST(ZipArchive, FailedExtractionKeepsTheExistingFile) {
  std::string work = kxtest::MakeTempDir("work");
  std::string dest = kxtest::MakeTempDir("dest");
  const std::string data = Text(50000, 9), old = "the file as it was";
  std::string plain = Zip(work, "plain.zip"), locked = Zip(work, "locked.zip");
  for (const std::string& path : {plain, locked}) {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreate);
    ASSERT_TRUE(zip.SetPassword(path == locked ? "secret" : nullptr));
    AddMemory(zip, {"a.txt", data, 6});
    zip.Close();
  }
  std::string bad = Bytes(plain);  // the CRC, alike in the local and the central header
  Put32(bad, 14, Get32(bad, 14) ^ 1);
  Put32(bad, Find(bad, "PK\x01\x02") + 16, Get32(bad, 14));
  std::string badCrc = Zip(work, "crc.zip");
  Put(badCrc, bad);

  const std::string target = dest + "/a.txt";
  kxtest::WriteFile(target, old);
  chmod(target.c_str(), 0640);
  auto unchanged = [&](const char* what) {
    EXPECT_EQ(kxtest::ReadFile(target), old) << what;
    std::string left;
    Sh("ls -A " + Quote(dest), &left);
    EXPECT_EQ(left, "a.txt\n") << what;
  };

  // A wrong password that passes the one-byte check of the encryption header fails only on the data.
  {
    CZipArchive zip;
    zip.Open(locked.c_str(), CZipArchive::zipOpenReadOnly);
    std::string wrong;
    for (int i = 0; i < 20000 && wrong.empty(); ++i) {
      std::string candidate = "wrong" + std::to_string(i);
      zip.SetPassword(candidate.c_str());
      bool opened = false;
      if (CauseOf([&] { opened = zip.OpenFile(0); }) == 0 && opened) wrong = candidate;
      zip.CloseFile(nullptr, true);
    }
    ASSERT_FALSE(wrong.empty());
    zip.SetPassword(wrong.c_str());
    bool extracted = true;
    int cause = CauseOf([&] { extracted = zip.ExtractFile(0, dest.c_str()); });
    EXPECT_TRUE(cause != 0 || !extracted);
    zip.Close(true);
    unchanged("wrong password");
  }
  {
    CZipArchive zip;
    zip.Open(badCrc.c_str(), CZipArchive::zipOpenReadOnly);
    EXPECT_EQ(CauseOf([&] { zip.ExtractFile(0, dest.c_str()); }), CZipException::badCrc);
    zip.Close(true);
    unchanged("bad CRC");
  }
  CZipArchive zip;
  zip.Open(plain.c_str(), CZipArchive::zipOpenReadOnly);
  auto stop = [](DWORD, DWORD, void*) { return false; };
  EXPECT_FALSE(zip.ExtractFile(0, dest.c_str(), false, nullptr, stop, nullptr, 1024));
  unchanged("stopped by the callback");
  // A read-only target is refused before anything is written, as writing over it would be.
  chmod(target.c_str(), 0440);
  EXPECT_EQ(CauseOf([&] { zip.ExtractFile(0, dest.c_str()); }), -1);
  chmod(target.c_str(), 0640);
  unchanged("read-only target");

  ASSERT_TRUE(zip.ExtractFile(0, dest.c_str()));
  zip.Close();
  EXPECT_EQ(kxtest::ReadFile(target), data);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_mtime, 1234567890);
  std::string left;
  Sh("ls -A " + Quote(dest), &left);
  EXPECT_EQ(left, "a.txt\n");
}
