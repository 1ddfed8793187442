// The zip library against "zip -r -6" and "unzip" on a mixed tree of about 100 MB (KX_BENCH_MB): many small
// text files, larger text files and data that does not compress. Runs alternate (KX_BENCH_RUNS, default 3)
// and the medians are compared; the archive is then checked with "unzip -t" and "7zz t".
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_util.h"
#include "zip/ZipArchive.h"

using namespace kxbench;

namespace {

std::string g_root, g_src;

void WriteData(const std::string& path, size_t size, unsigned seed, bool text) {
  std::string s(size, '\0');
  unsigned long long x = 0x9E3779B97F4A7C15ull * (seed + 1);
  static const char* words[] = {"archive ", "volume ", "entry ", "deflate ", "header\n", "central ", "record "};
  size_t i = 0;
  while (i < size) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    if (!text) {
      for (int k = 0; k < 8 && i < size; ++k) s[i++] = static_cast<char>(x >> (8 * k));
    } else {
      for (const char* w = words[(x >> 20) % 7]; *w && i < size; ++w) s[i++] = *w;
    }
  }
  std::ofstream(path, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
}

// 100 small text files (0.5-4 KiB) per megabyte of the tree; the rest of the bytes half in text files of
// 256 KiB, half in files of 1 MiB that do not compress (as already compressed data).
size_t MakeTree(size_t megabytes) {
  size_t budget = megabytes << 20, files = 0;
  const size_t smallFiles = megabytes * 100;
  unsigned seed = 1;
  auto fill = [&](size_t bytes, size_t (*sizeOf)(unsigned), bool text, const char* kind) {
    for (size_t done = 0; done < bytes; ++files) {
      std::string dir = g_src + "/" + kind + std::to_string(files / 64);
      mkdir(dir.c_str(), 0755);
      size_t size = sizeOf(seed);
      WriteData(dir + "/f" + std::to_string(files) + (text ? ".txt" : ".bin"), size, seed++, text);
      done += size;
    }
  };
  size_t smallBytes = 0;
  for (size_t i = 0; i < smallFiles; ++i, ++files) {
    std::string dir = g_src + "/small" + std::to_string(i / 64);
    mkdir(dir.c_str(), 0755);
    size_t size = 512 + (seed * 2654435761u) % (3584);
    WriteData(dir + "/f" + std::to_string(i) + ".txt", size, seed++, true);
    smallBytes += size;
  }
  size_t rest = budget > smallBytes ? budget - smallBytes : 0;
  fill(rest / 2, [](unsigned) -> size_t { return 256 * 1024; }, true, "text");
  fill(rest / 2, [](unsigned) -> size_t { return 1024 * 1024; }, false, "packed");
  return files;
}

void AddFolder(CZipArchive& zip, const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string path = dir + "/" + n;
    zip.AddNewFile(path.c_str(), 6, false);
    if (e->d_type == DT_DIR) AddFolder(zip, path);
  }
  closedir(d);
}

}  // namespace

int main() {
  g_root = TempRoot("zip");
  g_src = g_root + "/src";
  mkdir(g_src.c_str(), 0755);
  const char* mb = std::getenv("KX_BENCH_MB");
  size_t files = MakeTree(mb && std::atoi(mb) > 0 ? static_cast<size_t>(std::atoi(mb)) : 100);
  std::printf("mixed tree: %zu files\n", files);
  const int runs = Runs();
  const std::string ours = g_root + "/ours.zip", tool = g_root + "/tool.zip";

  Compare("create (level 6)", runs,
          [&] {
            Shell("rm -f '" + ours + "'");
            return InChild([&] {
              CZipArchive zip;
              zip.Open(ours.c_str(), CZipArchive::zipCreate);
              zip.SetRootPath(g_src.c_str());
              AddFolder(zip, g_src);
              zip.Close();
            });
          },
          "zip -r -6", [&] {
            Shell("rm -f '" + tool + "'");
            return Command("cd '" + g_src + "' && zip -6 -qr '" + tool + "' .");
          });
  Compare("extract", runs,
          [&] {
            Shell("rm -rf '" + g_root + "/x-ours'");
            return InChild([&] {
              CZipArchive zip;
              zip.Open(ours.c_str(), CZipArchive::zipOpenReadOnly);
              for (int i = 0; i < zip.GetCount(); ++i)
                zip.ExtractFile(static_cast<WORD>(i), (g_root + "/x-ours").c_str());
              zip.Close();
            });
          },
          "unzip", [&] {
            Shell("rm -rf '" + g_root + "/x-unzip'");
            return Command("unzip -q '" + ours + "' -d '" + g_root + "/x-unzip'");
          });
  struct stat a {}, b {};
  if (stat(ours.c_str(), &a) == 0 && stat(tool.c_str(), &b) == 0 && b.st_size > 0)
    std::printf("archive size ours / zip -6 = %.3f\n", static_cast<double>(a.st_size) / static_cast<double>(b.st_size));
  std::printf("unzip -t: %s\n", Shell("unzip -tqq '" + ours + "'") == 0 ? "ok" : "FAILED");
  std::printf("7zz t: %s\n", Shell("7zz t '" + ours + "' > /dev/null") == 0 ? "ok" : "FAILED");
  std::printf("extracted tree equals the source: %s\n",
              Shell("diff -r '" + g_src + "' '" + g_root + "/x-ours' > /dev/null") == 0 ? "yes" : "NO");
  Shell("rm -rf '" + g_root + "'");
  return 0;
}
