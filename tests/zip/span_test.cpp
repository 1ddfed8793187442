// Spanned archives: numbered volume files and removable disks (simulated by folders holding ".kxdisk").
#include <sys/stat.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "ziptest.h"

using namespace ziptest;

namespace {

std::vector<std::string> SpanTree(const std::string& src) {
  std::vector<std::string> files = {"one.bin", "two.txt", "sub/three.bin", "sub/four.txt"};
  mkdir((src + "/sub").c_str(), 0755);
  kxtest::WriteFile(src + "/one.bin", Noise(90000, 1));
  kxtest::WriteFile(src + "/two.txt", Text(60000, 2));
  kxtest::WriteFile(src + "/sub/three.bin", Noise(70000, 3));
  kxtest::WriteFile(src + "/sub/four.txt", Text(1000, 4));
  return files;
}

void MakeDisk(const std::string& folder, unsigned capacity) {
  mkdir(folder.c_str(), 0755);
  kxtest::WriteFile(folder + "/.kxdisk", "blank\n" + std::to_string(capacity) + "\n");
}

std::string Label(const std::string& folder) {
  std::string s = kxtest::ReadFile(folder + "/.kxdisk");
  return s.substr(0, s.find('\n'));
}

// A person at the drive: swaps disks in and out of the mount point as the prompts ask.
struct DiskChanger {
  std::string base, drive;
  unsigned capacity = 64000;
  int mounted = 1;  // number of the disk in the drive
  std::vector<std::pair<DWORD, int>> calls;
  bool cancel = false;
  std::string Disk(int n) const { return base + "/disk" + std::to_string(n); }

  static bool Callback(DWORD volume, int code, void* data) {
    auto* self = static_cast<DiskChanger*>(data);
    self->calls.push_back({volume, code});
    if (self->cancel) return false;
    if (static_cast<int>(volume) != self->mounted || code == -2) {
      rename(self->drive.c_str(), self->Disk(self->mounted).c_str());
      if (code == -1 || code == -2) {
        if (code == -2) {  // that disk was already used: give a fresh one of the same number
          MakeDisk(self->drive, self->capacity);
        } else {
          rename(self->Disk(static_cast<int>(volume)).c_str(), self->drive.c_str());
        }
      } else {
        MakeDisk(self->drive, self->capacity);
      }
      self->mounted = static_cast<int>(volume);
    }
    return true;
  }
};

}  // namespace

TEST(ZipSpan, NumberedVolumesRoundTripAndOutsideJoin) {
  std::string src = kxtest::MakeTempDir("src");
  std::string dir = kxtest::MakeTempDir("out");
  auto files = SpanTree(src);
  std::string path = dir + "/a.zip";
  kxtest::WriteFile(path, "an older a.zip is replaced at close");
  {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreateSpan, 64000);
    EXPECT_EQ(zip.GetSpanMode(), 1);
    zip.SetPassword("secret");
    AddTree(zip, src, 6);
    zip.Close();
  }
  ASSERT_TRUE(Exists(dir + "/a.000"));
  ASSERT_TRUE(Exists(dir + "/a.001"));
  ASSERT_FALSE(Exists(dir + "/a.002"));
  EXPECT_EQ(Bytes(dir + "/a.000").compare(0, 4, "PK\x07\x08"), 0);
  for (const char* v : {"a.000", "a.001"}) EXPECT_EQ(Bytes(dir + "/" + v).size(), 64000u) << v;

  CZipArchive zip;
  zip.Open(path.c_str());
  EXPECT_EQ(zip.GetSpanMode(), -1);
  zip.SetPassword("secret");
  std::string dest = kxtest::MakeTempDir("dest");
  EXPECT_TRUE(ExtractAll(zip, dest));
  std::string why;
  EXPECT_TRUE(SameFiles(src, dest, files, &why)) << why;
  CZipFileHeader h;
  EXPECT_FALSE(zip.OpenNewFile(h));  // an existing span is read only
  EXPECT_FALSE(zip.SetGlobalComment("x"));
  Delete(zip, {0});
  EXPECT_EQ(zip.GetCount(), 5);
  zip.Close();

  // Renamed to the split-set names of other tools, the volumes join and test with them.
  ASSERT_EQ(Sh("cd " + Quote(dir) + " && mv a.000 a.z01 && mv a.001 a.z02"), 0);
  std::string out;
  EXPECT_EQ(Sh("cd " + Quote(dir) + " && 7zz t -psecret a.zip", &out), 0) << out;
  ASSERT_EQ(Sh("cd " + Quote(dir) + " && zip -q -s 0 a.zip --out one.zip", &out), 0) << out;
  EXPECT_EQ(Sh("unzip -P secret -tq " + Quote(dir + "/one.zip"), &out), 0) << out;
}

TEST(ZipSpan, TinyVolumesKeepRecordsWhole) {
  std::string dir = kxtest::MakeTempDir();
  // 20: smaller than any record, each goes whole into a volume of its own. 40: the first entry's
  // encryption header runs across the border of the first volume.
  for (int volume : {20, 40}) {
    std::string sub = dir + "/v" + std::to_string(volume);
    mkdir(sub.c_str(), 0755);
    std::string path = sub + "/t.zip";
    {
      CZipArchive zip;
      zip.Open(path.c_str(), CZipArchive::zipCreateSpan, volume);
      zip.SetPassword("pw");
      for (int i = 0; i < 3; ++i) {
        CZipFileHeader h;
        h.SetFileName(std::string(1, static_cast<char>('a' + i)).c_str());
        ASSERT_TRUE(zip.OpenNewFile(h, 9));
        std::string data = Text(50, static_cast<unsigned>(i));
        ASSERT_TRUE(zip.WriteNewFile(data.data(), static_cast<DWORD>(data.size())));
        ASSERT_TRUE(zip.CloseNewFile());
      }
      zip.Close();
    }
    CZipArchive zip;
    zip.Open(path.c_str());
    zip.SetPassword("pw");
    for (WORD i = 0; i < 3; ++i) {
      ASSERT_TRUE(zip.OpenFile(i)) << volume;
      char buf[100];
      EXPECT_EQ(zip.ReadFile(buf, sizeof buf), 50u);
      EXPECT_EQ(std::string(buf, 50), Text(50, i));
      EXPECT_EQ(zip.CloseFile(), 1);
    }
    zip.Close();
    // The end record did not fit the last volume: alone on the next one, naming it. (Info-ZIP cannot join
    // a directory spread over several volumes; 7-Zip can.)
    std::string volumes;
    ASSERT_EQ(Sh("cd " + Quote(sub) + " && ls t.[0-9][0-9][0-9] | wc -l", &volumes), 0);
    std::string last = Bytes(path);
    if (volume == 20) {
      ASSERT_EQ(last.size(), 22u);
      EXPECT_EQ(Get16(last, 4), static_cast<unsigned>(std::stoi(volumes)));
      EXPECT_EQ(Get16(last, 8), 0u);
    }
    std::string out;
    ASSERT_EQ(Sh("cd " + Quote(sub) + " && for f in t.[0-9][0-9][0-9]; do mv $f $(printf 't.z%02d' $(expr ${f#t.} + 1)); "
                 "done && 7zz t -ppw t.zip",
                 &out),
              0)
        << volume << out;
  }
  // A 1000th volume is never made.
  std::string many = dir + "/m.zip";
  CZipArchive big;
  big.Open(many.c_str(), CZipArchive::zipCreateSpan, 1);
  CZipFileHeader h;
  h.SetFileName("x");
  ASSERT_TRUE(big.OpenNewFile(h, 0));
  std::string data = Noise(1200, 1);
  EXPECT_EQ(CauseOf([&] {
              big.WriteNewFile(data.data(), static_cast<DWORD>(data.size()));
              big.CloseNewFile();
            }),
            CZipException::tooManyVolumes);
  big.Close(true);
}

TEST(ZipSpan, SpanThatFitsTheFirstVolumeBecomesAPlainArchive) {
  std::string dir = kxtest::MakeTempDir();
  std::string path = dir + "/small.zip";
  {
    CZipArchive zip;
    zip.Open(path.c_str(), CZipArchive::zipCreateSpan, 1000000);
    CZipFileHeader a, b;
    a.SetFileName("plain.txt");
    ASSERT_TRUE(zip.OpenNewFile(a, 6));
    std::string t = Text(5000, 1);
    zip.WriteNewFile(t.data(), static_cast<DWORD>(t.size()));
    zip.CloseNewFile();
    zip.SetPassword("pw");
    b.SetFileName("secret.txt");
    ASSERT_TRUE(zip.OpenNewFile(b, 0));
    zip.WriteNewFile(t.data(), 100);
    zip.CloseNewFile();
    zip.Close();
  }
  EXPECT_FALSE(Exists(dir + "/small.000"));
  std::string bytes = Bytes(path);
  EXPECT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);  // no span marker
  EXPECT_EQ(Get16(bytes, 6), 0u);                   // plain entry: descriptor gone
  std::string out;
  EXPECT_EQ(Sh("unzip -P pw -tq " + Quote(path), &out), 0) << out;
  ASSERT_EQ(Sh("zipinfo -v " + Quote(path), &out), 0);
  EXPECT_EQ(Field(out, "extended local header", "no"), 1);  // the encrypted entry keeps its descriptor
  EXPECT_EQ(Field(out, "extended local header", "yes"), 1);
  CZipArchive zip;
  zip.Open(path.c_str());
  EXPECT_EQ(zip.GetSpanMode(), 0);
  zip.Close();
}

TEST(ZipSpan, RemovableDisks) {
  std::string base = kxtest::MakeTempDir("disks");
  std::string src = kxtest::MakeTempDir("src");
  auto files = SpanTree(src);
  DiskChanger changer;
  changer.base = base;
  changer.drive = base + "/drive";
  MakeDisk(changer.drive, changer.capacity);
  std::string path = changer.drive + "/a.zip";
  {
    CZipArchive zip;
    EXPECT_EQ(CauseOf([&] { zip.Open(path.c_str(), CZipArchive::zipCreateSpan, 0); }), CZipException::noCallback);
    zip.Close(true);
    zip.SetSpanCallback(DiskChanger::Callback, &changer);
    zip.Open(path.c_str(), CZipArchive::zipCreateSpan, 0);
    AddTree(zip, src, 6);
    zip.Close();
  }
  ASSERT_GE(changer.calls.size(), 3u);
  EXPECT_EQ(changer.calls[0], std::make_pair(1u, 4));  // the first disk, room for the marker
  EXPECT_EQ(Label(changer.Disk(1)), "pkback# 001");
  EXPECT_EQ(Label(changer.Disk(2)), "pkback# 002");
  EXPECT_EQ(Label(changer.drive), "pkback# 00" + std::to_string(changer.mounted));
  EXPECT_EQ(Bytes(changer.Disk(1) + "/a.zip").compare(0, 4, "PK\x07\x08"), 0);

  // Reading asks for each disk by number (code -1), starting from the last one in the drive.
  changer.calls.clear();
  CZipArchive zip;
  zip.SetSpanCallback(DiskChanger::Callback, &changer);
  zip.Open(path.c_str());
  EXPECT_EQ(zip.GetSpanMode(), -1);
  std::string dest = kxtest::MakeTempDir("dest");
  EXPECT_TRUE(ExtractAll(zip, dest));
  zip.Close();
  std::string why;
  EXPECT_TRUE(SameFiles(src, dest, files, &why)) << why;
  ASSERT_FALSE(changer.calls.empty());
  for (const auto& c : changer.calls) EXPECT_EQ(c.second, -1);
  EXPECT_NE(std::find(changer.calls.begin(), changer.calls.end(), std::make_pair(1u, -1)), changer.calls.end());

  // A disk that already holds the archive's name is announced (-2) before anything is overwritten; a
  // cancelled prompt stops the work (104).
  struct Used {
    std::string drive, old;
    std::vector<int> codes;
    static bool Callback(DWORD, int code, void* data) {
      auto* self = static_cast<Used*>(data);
      self->codes.push_back(code);
      if (code == -2) {
        rename(self->drive.c_str(), self->old.c_str());
        MakeDisk(self->drive, 100000);
      }
      return true;
    }
  } used{changer.drive, base + "/used", {}};
  std::string keep = Bytes(path);
  {
    CZipArchive z;
    z.SetSpanCallback(Used::Callback, &used);
    z.Open(path.c_str(), CZipArchive::zipCreateSpan, 0);
    z.Close();
  }
  EXPECT_EQ(used.codes, (std::vector<int>{4, -2}));
  EXPECT_EQ(Bytes(used.old + "/a.zip"), keep);
  DiskChanger cancel = changer;
  cancel.cancel = true;
  CZipArchive z;
  z.SetSpanCallback(DiskChanger::Callback, &cancel);
  EXPECT_EQ(CauseOf([&] { z.Open((changer.drive + "/b.zip").c_str(), CZipArchive::zipCreateSpan, 0); }),
            CZipException::aborted);
  z.Close(true);
  // Not a removable drive.
  z.SetSpanCallback(DiskChanger::Callback, &changer);
  EXPECT_EQ(CauseOf([&] { z.Open((src + "/c.zip").c_str(), CZipArchive::zipCreateSpan, 0); }),
            CZipException::nonRemovable);
  z.Close(true);
  EXPECT_FALSE(Exists(src + "/c.zip"));
}
