// Hostile and damaged archives: refused with CZipException, never a crash, a hang or a file outside the
// destination. These cases also run under AddressSanitizer (test_zip_hostile_asan).
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

namespace {

struct Spec {
  std::string name, data;
  int level;
};

void Build(const std::string& path, const std::vector<Spec>& entries, const char* password = nullptr) {
  CZipArchive zip;
  zip.Open(path.c_str(), CZipArchive::zipCreate);
  zip.SetPassword(password);
  for (const auto& e : entries) {
    CZipFileHeader h;
    h.SetFileName(e.name.c_str());
    ASSERT_TRUE(zip.OpenNewFile(h, e.level));
    ASSERT_TRUE(zip.WriteNewFile(e.data.data(), static_cast<DWORD>(e.data.size())));
    ASSERT_TRUE(zip.CloseNewFile());
  }
  zip.Close();
}

std::vector<Spec> Three() {
  return {{"first.txt", Text(20000, 1), 6}, {"second.txt", Text(3000, 2), 0}, {"third.bin", Noise(5000, 3), 6}};
}

// Offsets of the central headers, in order.
std::vector<size_t> Centrals(const std::string& b) {
  std::vector<size_t> at;
  for (size_t p = Find(b, "PK\x01\x02"); p != std::string::npos; p = Find(b, "PK\x01\x02", p + 4)) at.push_back(p);
  return at;
}

// Opens the archive and runs through every entry (list, test, extract); the first cause raised, or 0.
int Exercise(const std::string& path, const std::string& dest, const char* password = nullptr) {
  CZipArchive zip;
  int cause = CauseOf([&] {
    zip.Open(path.c_str(), CZipArchive::zipOpenReadOnly);
    zip.SetPassword(password);
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipFileHeader h;
      zip.GetFileInfo(h, static_cast<WORD>(i));
      h.GetSystemAttr();
      zip.TestFile(static_cast<WORD>(i));
    }
    for (int i = 0; i < zip.GetCount(); ++i) zip.ExtractFile(static_cast<WORD>(i), dest.c_str());
  });
  if (CauseOf([&] { zip.Close(cause != 0); })) zip.Close(true);
  return cause;
}

}  // namespace

TEST(ZipHostile, PathTraversalIsRefused) {
  std::string work = kxtest::MakeTempDir("work");
  std::string dest = work + "/dest";
  mkdir(dest.c_str(), 0755);
  std::string path = work + "/traversal.zip";
  unlink("/tmp/evil3.txt");
  const char* names[] = {"..\\evil1.txt", "a\\..\\..\\evil2.txt", "/tmp/evil3.txt", "\\evil4.txt",
                         "C:\\evil5.txt",  "ok\\..\\evil6.txt",   "..",             "a/../../evil7.txt"};
  std::vector<Spec> entries;
  for (const char* n : names) entries.push_back({n, "pwned", 6});
  entries.push_back({"fine\\safe.txt", "ok", 6});
  Build(path, entries);
  // The same from an outside writer.
  std::string py = work + "/py.zip";
  ASSERT_EQ(Sh("python3 -c " +
               Quote("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                     "z.writestr(zipfile.ZipInfo('../../pyevil.txt'), b'pwned')\nz.close()") +
               " " + Quote(py)),
            0);
  CZipArchive zip;
  zip.Open(path.c_str());
  for (WORD i = 0; i < sizeof names / sizeof *names; ++i) {
    EXPECT_EQ(CauseOf([&] { zip.ExtractFile(i, dest.c_str()); }), CZipException::badZipFile) << names[i];
    EXPECT_EQ(CauseOf([&] { zip.ExtractFile(i, dest.c_str(), false); }), CZipException::badZipFile) << names[i];
  }
  EXPECT_EQ(CauseOf([&] { zip.ExtractFile(8, dest.c_str(), true, "../renamed.txt"); }), CZipException::badZipFile);
  EXPECT_TRUE(zip.ExtractFile(8, dest.c_str()));
  EXPECT_TRUE(zip.TestFile(0));  // testing reads the data and writes nothing: allowed
  zip.Close();
  CZipArchive other;
  other.Open(py.c_str());
  EXPECT_EQ(CauseOf([&] { other.ExtractFile(0, dest.c_str()); }), CZipException::badZipFile);
  other.Close();
  EXPECT_EQ(kxtest::ReadFile(dest + "/fine/safe.txt"), "ok");
  std::string found;
  Sh("find " + Quote(kxtest::Root()) + " -name '*evil*'", &found);
  EXPECT_EQ(found, "");
  EXPECT_FALSE(Exists("/tmp/evil3.txt"));
}

TEST(ZipHostile, LinksInTheDestinationAreNotFollowed) {
  std::string work = kxtest::MakeTempDir("work");
  std::string dest = work + "/dest", outside = work + "/outside";
  mkdir(dest.c_str(), 0755);
  mkdir(outside.c_str(), 0755);
  kxtest::WriteFile(outside + "/target.txt", "original");
  ASSERT_EQ(symlink(outside.c_str(), (dest + "/dirlink").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/target.txt").c_str(), (dest + "/filelink").c_str()), 0);
  std::string path = work + "/links.zip";
  Build(path, {{"dirlink\\planted.txt", "pwned", 6}, {"filelink", "pwned", 0}, {"dirlink\\", "", 0}});
  CZipArchive zip;
  zip.Open(path.c_str());
  for (WORD i = 0; i < 2; ++i)
    EXPECT_EQ(CauseOf([&] { zip.ExtractFile(i, dest.c_str()); }), CZipException::badZipFile) << i;
  zip.Close();
  EXPECT_FALSE(Exists(outside + "/planted.txt"));
  EXPECT_EQ(kxtest::ReadFile(outside + "/target.txt"), "original");

  // A folder that an earlier entry went into is not looked at again, but a link named as a later entry is.
  mkdir((dest + "/real").c_str(), 0755);
  ASSERT_EQ(symlink((outside + "/target.txt").c_str(), (dest + "/real/filelink").c_str()), 0);
  Build(path, {{"real\\ok.txt", "fine", 6}, {"real\\filelink", "pwned", 6}});
  zip.Open(path.c_str());
  EXPECT_TRUE(zip.ExtractFile(0, dest.c_str()));
  EXPECT_EQ(CauseOf([&] { zip.ExtractFile(1, dest.c_str()); }), CZipException::badZipFile);
  zip.Close();
  EXPECT_EQ(kxtest::ReadFile(dest + "/real/ok.txt"), "fine");
  EXPECT_EQ(kxtest::ReadFile(outside + "/target.txt"), "original");
}

TEST(ZipHostile, OverlappingEntriesAreRefusedAtOpen) {
  std::string work = kxtest::MakeTempDir("work");
  std::string good = work + "/good.zip";
  Build(good, Three());
  std::string b = Bytes(good);
  auto c = Centrals(b);
  ASSERT_EQ(c.size(), 3u);
  struct Case {
    const char* what;
    std::function<void(std::string&)> patch;
  } cases[] = {
      {"two entries share one local header", [&](std::string& x) { Put32(x, c[2] + 42, Get32(x, c[1] + 42)); }},
      {"an entry's data runs into the next", [&](std::string& x) { Put32(x, c[0] + 20, Get32(x, c[0] + 20) + 100); }},
      {"the last entry's data runs into the directory",
       [&](std::string& x) { Put32(x, c[2] + 20, Get32(x, c[2] + 20) + 1); }},
      {"an entry inside the directory", [&](std::string& x) { Put32(x, c[1] + 42, static_cast<unsigned>(c[0])); }},
  };
  for (const auto& k : cases) {
    std::string x = b;
    k.patch(x);
    Put(work + "/bad.zip", x);
    CZipArchive zip;
    EXPECT_EQ(CauseOf([&] { zip.Open((work + "/bad.zip").c_str()); }), CZipException::badZipFile) << k.what;
    zip.Close(true);
  }
}

TEST(ZipHostile, LyingSizesNeitherHangNorLeaveFiles) {
  std::string work = kxtest::MakeTempDir("work");
  std::string dest = work + "/dest";
  mkdir(dest.c_str(), 0755);
  std::string good = work + "/good.zip";
  Build(good, Three());
  std::string b = Bytes(good);
  auto c = Centrals(b);
  auto local = [&](const std::string& x, int i) { return static_cast<size_t>(Get32(x, c[i] + 42)); };
  // Sizes changed alike in the local and the central header, so that only the data can tell.
  auto both = [&](std::string& x, int i, size_t field, unsigned value) {
    Put32(x, c[i] + 16 + field, value);
    Put32(x, local(x, i) + 14 + field, value);
  };
  struct Case {
    const char* what;
    int entry;
    std::function<void(std::string&)> patch;
    std::vector<int> causes;  // acceptable outcomes of extracting that entry (0: plain false)
  } cases[] = {
      {"stored, compressed size above the real one", 1, [&](std::string& x) { both(x, 1, 4, 2000); }, {101}},
      {"stored, uncompressed size above the compressed one", 1, [&](std::string& x) { both(x, 1, 8, 3500); }, {101}},
      {"deflated, claims more than it holds", 0, [&](std::string& x) { both(x, 0, 8, 25000); }, {0, 101, 102}},
      {"deflated, claims less than it holds", 0, [&](std::string& x) { both(x, 0, 8, 100); }, {102, 506}},
      {"deflated, claims nothing", 0, [&](std::string& x) { both(x, 0, 8, 0); }, {102, 506}},
      {"deflated, compressed size cut short", 2, [&](std::string& x) { both(x, 2, 4, 100); }, {0, 101, 102, 504, 506}},
      {"wrong CRC", 2, [&](std::string& x) { both(x, 2, 0, 0x12345678); }, {102}},
  };
  for (const auto& k : cases) {
    std::string x = b;
    k.patch(x);
    std::string path = work + "/lie.zip";
    Put(path, x);
    CZipArchive zip;
    zip.Open(path.c_str());
    bool extracted = false;
    int cause = CauseOf([&] { extracted = zip.ExtractFile(static_cast<WORD>(k.entry), dest.c_str()); });
    EXPECT_FALSE(extracted) << k.what;
    EXPECT_NE(std::find(k.causes.begin(), k.causes.end(), cause), k.causes.end()) << k.what << ": " << cause;
    zip.CloseFile(nullptr, true);
    int testCause = CauseOf([&] { EXPECT_FALSE(zip.TestFile(static_cast<WORD>(k.entry))) << k.what; });
    EXPECT_NE(std::find(k.causes.begin(), k.causes.end(), testCause), k.causes.end()) << k.what << ": " << testCause;
    zip.Close(true);
    std::string left;
    Sh("ls -A " + Quote(dest), &left);
    EXPECT_EQ(left, "") << k.what;  // no half-written file under the entry's name
  }
  // An encrypted entry too short to hold its encryption header.
  std::string enc = work + "/enc.zip";
  Build(enc, {{"e.txt", "", 0}}, "pw");
  std::string x = Bytes(enc);
  auto ce = Centrals(x);
  Put32(x, ce[0] + 20, 5);
  Put(enc, x);
  CZipArchive zip;
  zip.Open(enc.c_str());
  zip.SetPassword("pw");
  EXPECT_EQ(CauseOf([&] { zip.OpenFile(0); }), CZipException::badZipFile);
  zip.Close(true);
}

TEST(ZipHostile, TruncatedOrMissingDirectory) {
  std::string work = kxtest::MakeTempDir("work");
  std::string good = work + "/good.zip";
  Build(good, Three());
  std::string b = Bytes(good);
  size_t eocd = b.rfind("PK\x05\x06");
  auto c = Centrals(b);
  struct Case {
    const char* what;
    std::string bytes;
    int cause;
  } cases[] = {
      {"empty file", "", 114},
      {"cut in the data", b.substr(0, b.size() / 2), 114},
      {"end record alone", "PK\x05\x06", 101},
      {"end record cut short", b.substr(0, eocd + 10), 101},
      {"directory cut in its middle", b.substr(0, c[1] + 10) + b.substr(eocd), 101},
      {"directory without its last header", b.substr(0, c[2]) + b.substr(eocd), 101},
      {"size 0 with one entry", [&] { std::string x = b; Put32(x, eocd + 12, 0); Put16(x, eocd + 10, 1); return x; }(), 101},
      {"entries 0 with a size", [&] { std::string x = b; Put16(x, eocd + 10, 0); return x; }(), 101},
      {"directory past the end record", [&] { std::string x = b; Put32(x, eocd + 16, Get32(x, eocd + 16) + 50); return x; }(), 101},
      {"more entries than written", [&] { std::string x = b; Put16(x, eocd + 10, 9); Put16(x, eocd + 8, 9); return x; }(), 101},
  };
  for (const auto& k : cases) {
    std::string path = work + "/t.zip";
    Put(path, k.bytes);
    CZipArchive zip;
    EXPECT_EQ(CauseOf([&] { zip.Open(path.c_str()); }), k.cause) << k.what;
    zip.Close(true);
    EXPECT_TRUE(zip.IsClosed());
  }
  // An end record claiming to be the last of several volumes: the missing volumes fail cleanly.
  std::string x = b;
  Put16(x, eocd + 4, 3);
  Put16(x, eocd + 6, 3);
  Put(work + "/span.zip", x);
  EXPECT_NE(Exercise(work + "/span.zip", work), 0);
}

TEST(ZipHostile, EndRecordSearchLimits) {
  std::string work = kxtest::MakeTempDir("work");
  for (unsigned comment : {1004u, 65535u}) {
    std::string path = work + "/c.zip";
    {
      CZipArchive zip;
      zip.Open(path.c_str(), CZipArchive::zipCreate);
      AddTree(zip, kxtest::MakeTempDir("empty"));
      ASSERT_TRUE(zip.SetGlobalComment(std::string(comment, 'c').c_str()));
      CZipFileHeader h;
      h.SetFileName("x");
      ASSERT_TRUE(zip.OpenNewFile(h));
      ASSERT_TRUE(zip.CloseNewFile());
      zip.Close();
    }
    CZipArchive zip;
    zip.SetAdvanced(65535, 16384, 1024);  // 1004: the signature straddles two search blocks
    zip.Open(path.c_str());
    EXPECT_EQ(zip.GetCount(), 1) << comment;
    zip.Close();
    // One byte more behind the longest comment: no end record in reach.
    if (comment == 65535u) {
      Put(path, Bytes(path) + "!");
      EXPECT_EQ(CauseOf([&] { zip.Open(path.c_str()); }), CZipException::cdirNotFound);
      zip.Close(true);
    }
  }
  // Too long for the end record's 16-bit length.
  CZipArchive zip;
  zip.Open((work + "/d.zip").c_str(), CZipArchive::zipCreate);
  EXPECT_FALSE(zip.SetGlobalComment(std::string(65536, 'c').c_str()));
  CZipFileHeader h;
  h.SetFileName(std::string(70000, 'n').c_str());
  EXPECT_EQ(CauseOf([&] { zip.OpenNewFile(h); }), CZipException::tooLongFileName);
  zip.Close(true);
}

TEST(ZipHostile, RandomDamageNeverCrashes) {
  std::string work = kxtest::MakeTempDir("work");
  std::string good = work + "/good.zip";
  {
    CZipArchive zip;
    zip.Open(good.c_str(), CZipArchive::zipCreate);
    for (const auto& e : Three()) {
      CZipFileHeader h;
      h.SetFileName(("d\\" + e.name).c_str());
      h.SetComment("entry comment");
      ASSERT_TRUE(zip.OpenNewFile(h, e.level));
      ASSERT_TRUE(zip.WriteNewFile(e.data.data(), static_cast<DWORD>(e.data.size())));
      ASSERT_TRUE(zip.CloseNewFile());
    }
    zip.SetPassword("pw");
    CZipFileHeader h;
    h.SetFileName("secret.txt");
    ASSERT_TRUE(zip.OpenNewFile(h, 9));
    std::string t = Text(4000, 9);
    ASSERT_TRUE(zip.WriteNewFile(t.data(), static_cast<DWORD>(t.size())));
    ASSERT_TRUE(zip.CloseNewFile());
    zip.SetGlobalComment("global");
    zip.Close();
  }
  std::string b = Bytes(good);
  size_t directory = Centrals(b)[0];
  unsigned long long x = 88172645463325252ull;
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = b;
    int flips = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < flips; ++i) {
      // Mostly the records (local headers and the directory), where the numbers live.
      size_t at = next() % 3 ? directory + next() % (b.size() - directory) : next() % b.size();
      damaged[at] = static_cast<char>(next() % 5 == 0 ? 0xFF : damaged[at] ^ (1 << (next() % 8)));
    }
    if (round % 10 == 9) damaged.resize(next() % b.size());
    std::string path = work + "/r.zip";
    Put(path, damaged);
    std::string dest = work + "/d" + std::to_string(round % 4);
    refused += Exercise(path, dest, "pw") != 0;
  }
  EXPECT_GT(refused, 100);
  std::string found;
  Sh("find " + Quote(kxtest::Root()) + " -newer " + Quote(good) + " -type f | grep -v -e '/work/r.zip$' -e '/work/d[0-3]/'",
     &found);
  EXPECT_EQ(found, "");
}
