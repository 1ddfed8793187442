// Interoperability both ways with tools no one here wrote: Info-ZIP zip/unzip/zipinfo, Python's zipfile, 7-Zip.
#include <sys/stat.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

namespace {

const char kPy[] = "python3 -c ";

bool Contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

const struct {
  const char* name;
  int level;
} kLevels[] = {{"lvl0.txt", 0}, {"lvl1.txt", 1}, {"lvl2.txt", 2}, {"lvl9.txt", 9}};

// Builds an archive of the tree plus entries of every level (their files in folder levels), comments and
// (optionally) a password.
void BuildOurs(const std::string& path, const std::string& src, const std::string& levels, const char* password) {
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  zip.SetPassword(password);
  AddTree(zip, src, 6);
  for (const auto& l : kLevels) {
    std::string file = levels + "/" + l.name;
    kxtest::WriteFile(file, Text(40000, static_cast<unsigned>(l.level) + 20));
    ASSERT_TRUE(zip.AddNewFile(file.c_str(), l.level, false));
  }
  ASSERT_TRUE(zip.SetFileComment(0, "first entry's comment"));
  ASSERT_TRUE(zip.SetGlobalComment("made by the archive wizard"));
  zip.Close();
}

std::string Py(const std::string& code, const std::string& arg) {
  return std::string(kPy) + Quote(code) + " " + Quote(arg);
}

}  // namespace

TEST(ZipInterop, OurArchivesPassOutsideReaders) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dir = kxtest::MakeTempDir("out");
  std::string levels = kxtest::MakeTempDir("levels");
  auto files = MakeTree(src);
  std::vector<std::string> levelFiles;
  for (const auto& l : kLevels) levelFiles.push_back(l.name);
  std::string plain = dir + "/plain.zip", secret = dir + "/secret.zip";
  BuildOurs(plain, src, levels, nullptr);
  BuildOurs(secret, src, levels, "secret");
  std::string out;

  // Info-ZIP: test, details, extraction.
  ASSERT_EQ(Sh("unzip -tq " + Quote(plain), &out), 0) << out;
  EXPECT_TRUE(Contains(out, "No errors detected")) << out;
  ASSERT_EQ(Sh("zipinfo -v " + Quote(plain), &out), 0);
  int entries = Field(out, "minimum software version required to extract", "2.0");
  EXPECT_EQ(entries, static_cast<int>(files.size()) + 4 + 4) << out;  // files, levels, folders
  EXPECT_EQ(Field(out, "file system or operating system of origin", "MS-DOS, OS/2 or NT FAT"), entries);
  EXPECT_EQ(Field(out, "version of encoding software", "2.0"), entries);
  EXPECT_EQ(Field(out, "extended local header", "no"), entries);
  EXPECT_EQ(Field(out, "compression sub-type (deflation)", "superfast"), 1);
  EXPECT_EQ(Field(out, "compression sub-type (deflation)", "fast"), 1);
  EXPECT_EQ(Field(out, "compression sub-type (deflation)", "maximum"), 1);
  EXPECT_EQ(Field(out, "compression method", "none (stored)"), 1 + 4);  // level 0 and the folders
  EXPECT_TRUE(Contains(out, "first entry's comment"));
  std::string unz = kxtest::MakeTempDir("unzip");
  ASSERT_EQ(Sh("unzip -q " + Quote(plain) + " -d " + Quote(unz), &out), 0) << out;
  std::string why;
  EXPECT_TRUE(SameFiles(src, unz, files, &why)) << why;
  EXPECT_TRUE(SameFiles(levels, unz, levelFiles, &why)) << why;
  struct stat st;
  EXPECT_TRUE(stat((unz + "/hollow").c_str(), &st) == 0 && S_ISDIR(st.st_mode));

  ASSERT_EQ(Sh("unzip -P secret -tq " + Quote(secret), &out), 0) << out;
  EXPECT_NE(Sh("unzip -P wrong -tq " + Quote(secret), &out), 0);
  ASSERT_EQ(Sh("zipinfo -v " + Quote(secret), &out), 0);
  EXPECT_EQ(Field(out, "file security status", "encrypted"), entries - 4) << out;  // folders stay plain
  EXPECT_EQ(Field(out, "extended local header", "yes"), entries - 4);
  std::string unzs = kxtest::MakeTempDir("unzip-secret");
  ASSERT_EQ(Sh("unzip -q -P secret " + Quote(secret) + " -d " + Quote(unzs), &out), 0) << out;
  EXPECT_TRUE(SameFiles(src, unzs, files, &why)) << why;
  EXPECT_TRUE(SameFiles(levels, unzs, levelFiles, &why)) << why;

  // Python's zipfile.
  EXPECT_EQ(Sh(Py("import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); sys.exit(z.testzip() is not None)", plain), &out),
            0)
      << out;
  EXPECT_EQ(Sh(Py("import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); z.setpassword(b'secret'); "
                  "sys.exit(z.testzip() is not None)",
                  secret),
               &out),
            0)
      << out;
  EXPECT_NE(Sh(Py("import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); z.setpassword(b'wrong'); z.testzip()", secret),
               &out),
            0);

  // 7-Zip.
  ASSERT_EQ(Sh("7zz t " + Quote(plain), &out), 0) << out;
  EXPECT_TRUE(Contains(out, "Everything is Ok"));
  ASSERT_EQ(Sh("7zz t -psecret " + Quote(secret), &out), 0) << out;
  EXPECT_NE(Sh("7zz t -pwrong " + Quote(secret), &out), 0);
  ASSERT_EQ(Sh("7zz l -slt " + Quote(secret), &out), 0);
  EXPECT_TRUE(Contains(out, "Method = ZipCrypto Deflate")) << out;
}

TEST(ZipInterop, StubInFrontAndUpdatedByUs) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dir = kxtest::MakeTempDir("out");
  auto files = MakeTree(src);
  std::string stub = Noise(777, 5);
  kxtest::WriteFile(dir + "/stub", stub);
  ASSERT_EQ(Sh("cd " + Quote(src) + " && zip -qr " + Quote(dir + "/base.zip") + " ."), 0);
  // Adjusted offsets (zip -A) and offsets left relative to the archive data: both open, both take a new entry.
  ASSERT_EQ(Sh("cd " + Quote(dir) + " && cat stub base.zip > adjusted.zip && zip -qA adjusted.zip && "
               "cat stub base.zip > relative.zip"),
            0);
  kxtest::WriteFile(src + "/added.txt", Text(5000, 77));
  for (const char* name : {"adjusted.zip", "relative.zip"}) {
    std::string path = dir + "/" + name;
    {
      CZipArchive zip;
      zip.Open(path.c_str());
      ASSERT_TRUE(zip.AddNewFile((src + "/added.txt").c_str(), 6, false));
      zip.Close();
    }
    EXPECT_EQ(Bytes(path).compare(0, stub.size(), stub), 0) << name;
    std::string out;
    EXPECT_EQ(Sh(Py("import zipfile,sys; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)", path), &out), 0)
        << name << out;
    if (std::string(name) == "adjusted.zip") { EXPECT_EQ(Sh("7zz t " + Quote(path), &out), 0) << out; }  // 7-Zip reads no other
    int rc = Sh("unzip -tq " + Quote(path), &out);
    EXPECT_TRUE(rc == 0 || (rc == 1 && Contains(out, "No errors detected"))) << name << out;  // 1: stub warning
    CZipArchive zip;
    zip.Open(path.c_str());
    std::string dest = kxtest::MakeTempDir(std::string("x-") + name);
    EXPECT_TRUE(ExtractAll(zip, dest));
    zip.Close();
    std::string why;
    auto all = files;
    all.push_back("added.txt");
    EXPECT_TRUE(SameFiles(src, dest, all, &why)) << name << " " << why;
  }
}

TEST(ZipInterop, OutsideArchivesExtractByteForByte) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dir = kxtest::MakeTempDir("out");
  auto files = MakeTree(src, 3);
  std::string s = Quote(src), d = Quote(dir);
  struct Producer {
    const char* name;
    std::string command;
    const char* password;
  } producers[] = {
      {"zip-r.zip", "cd " + s + " && zip -qr " + d + "/zip-r.zip .", nullptr},
      {"zip-0.zip", "cd " + s + " && zip -qr0 " + d + "/zip-0.zip .", nullptr},
      {"zip-9.zip", "cd " + s + " && zip -qr9 " + d + "/zip-9.zip .", nullptr},
      {"zip-e.zip", "cd " + s + " && zip -qr -P secret " + d + "/zip-e.zip .", "secret"},
      {"py.zip",
       "cd " + s + " && python3 -c " +
           Quote("import zipfile,os\n"
                 "z=zipfile.ZipFile('" + dir + "/py.zip','w')\n"
                 "for r,ds,fs in sorted(os.walk('.')):\n"
                 "  for n in ds: z.write(os.path.join(r,n))\n"
                 "  for i,n in enumerate(fs): z.write(os.path.join(r,n), compress_type=zipfile.ZIP_DEFLATED if i%2 else "
                 "zipfile.ZIP_STORED)\n"),
       nullptr},
      {"py-stream.zip",
       "cd " + s + " && python3 -c " +
           Quote("import zipfile,os,sys\n"
                 "z=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_DEFLATED)\n"
                 "for r,ds,fs in sorted(os.walk('.')):\n"
                 "  for n in fs:\n"
                 "    with z.open(os.path.relpath(os.path.join(r,n)),'w') as o: o.write(open(os.path.join(r,n),'rb').read())\n"
                 "z.close()\n") +
           " | cat > " + d + "/py-stream.zip",
       nullptr},
      {"7z-0.zip", "cd " + s + " && 7zz a -bd -tzip -mx=0 " + d + "/7z-0.zip . >/dev/null", nullptr},
      {"7z-9.zip", "cd " + s + " && 7zz a -bd -tzip -mx=9 " + d + "/7z-9.zip . >/dev/null", nullptr},
      {"7z-crypt.zip", "cd " + s + " && 7zz a -bd -tzip -mem=ZipCrypto -psecret " + d + "/7z-crypt.zip . >/dev/null",
       "secret"},
  };
  for (const auto& p : producers) {
    std::string out;
    ASSERT_EQ(Sh(p.command, &out), 0) << p.name << out;
    CZipArchive zip;
    zip.Open((dir + "/" + p.name).c_str(), CZipArchive::zipOpenReadOnly);
    zip.SetPassword(p.password);
    std::string dest = kxtest::MakeTempDir(std::string("x-") + p.name);
    EXPECT_TRUE(ExtractAll(zip, dest)) << p.name;
    for (int i = 0; i < zip.GetCount(); ++i) EXPECT_TRUE(zip.TestFile(static_cast<WORD>(i))) << p.name << " " << i;
    if (std::string(p.name) == "zip-r.zip") {
      // Unix-made entries: folders and files in the MS-DOS form.
      for (WORD i = 0; i < zip.GetCount(); ++i) {
        CZipFileHeader h;
        zip.GetFileInfo(h, i);
        EXPECT_EQ(h.GetSystemCompatibility(), 3);
        EXPECT_EQ(h.GetSystemAttr(), h.IsDirectory() ? 0x10u : 0x20u) << h.GetFileName();
      }
    }
    zip.Close();
    std::string why;
    EXPECT_TRUE(SameFiles(src, dest, files, &why)) << p.name << ": " << why;
  }
  // A folder marked only by its name (no folder attributes).
  ASSERT_EQ(Sh("python3 -c " +
               Quote("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                     "z.writestr(zipfile.ZipInfo('bare/'), b'')\nz.writestr('bare/f.txt', b'x')\nz.close()") +
               " " + Quote(dir + "/bare.zip")),
            0);
  {
    CZipArchive zip;
    zip.Open((dir + "/bare.zip").c_str());
    std::string dest = kxtest::MakeTempDir("x-bare");
    EXPECT_TRUE(ExtractAll(zip, dest));
    zip.Close();
    EXPECT_EQ(kxtest::ReadFile(dest + "/bare/f.txt"), "x");
  }
  // One entry piped into zip, with 32-bit descriptors.
  ASSERT_EQ(Sh("cd " + d + " && cat " + s + "/noise.bin | zip -q -fz- pipe.zip -"), 0);
  CZipArchive zip;
  zip.Open((dir + "/pipe.zip").c_str());
  std::string dest = kxtest::MakeTempDir("x-pipe");
  ASSERT_TRUE(zip.ExtractFile(0, dest.c_str()));
  zip.Close();
  EXPECT_EQ(kxtest::ReadFile(dest + "/-"), kxtest::ReadFile(src + "/noise.bin"));
}

TEST(ZipInterop, NonAsciiNames) {
  std::string dir = kxtest::MakeTempDir();
  std::string ours = dir + "/ours.zip";
  const std::string oem = "caf\xC3\xA9.txt", wide = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
  {
    CZipArchive zip;
    zip.Open(ours.c_str(), CZipArchive::zipCreate);
    for (const auto& n : {oem, wide}) {
      CZipFileHeader h;
      h.SetFileName(n.c_str());
      ASSERT_TRUE(zip.OpenNewFile(h, 6));
      ASSERT_TRUE(zip.WriteNewFile(n.data(), static_cast<DWORD>(n.size())));
      ASSERT_TRUE(zip.CloseNewFile());
    }
    zip.Close();
  }
  std::string out;
  ASSERT_EQ(Sh(Py("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\n"
                  "for i in z.infolist(): print(i.filename, hex(i.flag_bits), z.read(i).decode())",
                  ours),
               &out),
            0);
  EXPECT_TRUE(Contains(out, oem + " 0x800 " + oem)) << out;   // the OEM page could hold it: UTF-8 all the same
  EXPECT_TRUE(Contains(out, wide + " 0x800 " + wide)) << out;  // UTF-8, flagged
  // Python's UTF-8 names come back unchanged.
  std::string theirs = dir + "/theirs.zip";
  ASSERT_EQ(Sh(Py("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                  "z.writestr('\\u65e5\\u672c/caf\\u00e9.txt', b'x')\nz.close()",
                  theirs)),
            0);
  CZipArchive zip;
  zip.Open(theirs.c_str());
  CZipFileHeader h;
  zip.GetFileInfo(h, 0);
  EXPECT_STREQ(h.GetFileName(), ("\xE6\x97\xA5\xE6\x9C\xAC\\" + oem).c_str());
  std::string dest = kxtest::MakeTempDir("dest");
  EXPECT_TRUE(zip.ExtractFile(0, dest.c_str()));
  zip.Close();
  EXPECT_EQ(kxtest::ReadFile(dest + "/\xE6\x97\xA5\xE6\x9C\xAC/" + oem), "x");
}

// A folder whose name the OEM page could hold, with a file inside whose name it cannot: the folder and every
// entry inside it are stored in one form, so unzip and 7-Zip each extract one tree.
TEST(ZipInterop, OneTreeForAFolderOfMixedNames) {
  const std::string dir = kxtest::MakeTempDir();
  const std::string path = dir + "/tree.zip";
  const std::string folder = "caf\xC3\xA9", wide = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
  {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreate);
    for (const std::string& n : {folder + "\\", folder + "\\a.txt", folder + "\\" + wide}) {
      CZipFileHeader h;
      h.SetFileName(n.c_str());
      if (n.back() == '\\') h.SetSystemAttr(FILE_ATTRIBUTE_DIRECTORY, ZipGetSystemId());
      ASSERT_TRUE(zip.OpenNewFile(h, 6));
      if (n.back() != '\\') { ASSERT_TRUE(zip.WriteNewFile(n.data(), static_cast<DWORD>(n.size()))); }
      ASSERT_TRUE(zip.CloseNewFile());
    }
    zip.Close();
  }
  std::string out;
  const std::string unz = kxtest::MakeTempDir("unzip-tree"), sz = kxtest::MakeTempDir("7z-tree");
  ASSERT_EQ(Sh("unzip -q " + Quote(path) + " -d " + Quote(unz), &out), 0) << out;
  ASSERT_EQ(Sh("cd " + Quote(sz) + " && 7zz x -bd " + Quote(path) + " >/dev/null", &out), 0) << out;
  for (const std::string& root : {unz, sz}) {
    SCOPED_TRACE(root);
    std::string top, files;
    ASSERT_EQ(Sh("cd " + Quote(root) + " && ls -A", &top), 0);
    EXPECT_EQ(std::count(top.begin(), top.end(), '\n'), 1) << top;  // one folder
    ASSERT_EQ(Sh("cd " + Quote(root) + " && find . -type f | wc -l", &files), 0);
    EXPECT_EQ(files, "2\n");
  }
  // 7-Zip gives the names back as they were.
  EXPECT_EQ(kxtest::ReadFile(sz + "/" + folder + "/a.txt"), folder + "\\a.txt");
  EXPECT_EQ(kxtest::ReadFile(sz + "/" + folder + "/" + wide), folder + "\\" + wide);
}

TEST(ZipInterop, KnownLimitsAreRefusedCleanly) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dir = kxtest::MakeTempDir("out");
  kxtest::WriteFile(src + "/f.txt", Text(100000, 4));
  std::string s = Quote(src), d = Quote(dir);
  // Deflate64 and AES entries list but do not open; Zip64 records are not understood.
  ASSERT_EQ(Sh("cd " + s + " && 7zz a -bd -tzip -mm=Deflate64 " + d + "/d64.zip f.txt >/dev/null"), 0);
  ASSERT_EQ(Sh("cd " + s + " && 7zz a -bd -tzip -mem=AES256 -psecret " + d + "/aes.zip f.txt >/dev/null"), 0);
  ASSERT_EQ(Sh("cd " + d + " && cat " + s + "/f.txt | zip -q z64.zip -"), 0);
  for (const char* name : {"d64.zip", "aes.zip", "z64.zip"}) {
    CZipArchive zip;
    std::string dest = kxtest::MakeTempDir(std::string("x-") + name);
    int cause = CauseOf([&] {
      zip.Open((dir + "/" + name).c_str());
      zip.SetPassword("secret");
      EXPECT_EQ(zip.GetCount(), 1) << name;  // listing works where the directory is a plain one
      zip.ExtractFile(0, dest.c_str());
    });
    EXPECT_EQ(cause, CZipException::badZipFile) << name;
    EXPECT_FALSE(Exists(dest + "/f.txt") || Exists(dest + "/-")) << name;  // nothing half-written stays
    zip.Close(true);
  }
}
