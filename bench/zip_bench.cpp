// Creating and extracting a tree of about 100 MB (KX_BENCH_MB) with the zip library at level 6, against
// Info-ZIP's "zip -6" and "unzip" on the same data and the same archive. Prints the time ratios at the end.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "zip/ZipArchive.h"

namespace {

std::string g_root, g_src;
std::map<std::string, double> g_seconds;

int Shell(const std::string& command) { return std::system(command.c_str()); }

void WriteData(const std::string& path, size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned long long x = 0x9E3779B97F4A7C15ull * (seed + 1);
  static const char* words[] = {"archive ", "volume ", "entry ", "deflate ", "header\n", "central ", "record "};
  size_t i = 0;
  while (i < size) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    if (seed % 4 == 0) {  // a quarter of the files do not compress
      s[i++] = static_cast<char>(x >> 24);
    } else {
      for (const char* w = words[(x >> 20) % 7]; *w && i < size; ++w) s[i++] = *w;
    }
  }
  std::ofstream(path, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
}

void MakeTree(size_t megabytes) {
  const size_t fileSize = 512 * 1024;
  size_t files = megabytes * 1024 * 1024 / fileSize;
  for (size_t i = 0; i < files; ++i) {
    std::string dir = g_src + "/d" + std::to_string(i / 8);
    mkdir(dir.c_str(), 0755);
    WriteData(dir + "/f" + std::to_string(i) + ".dat", fileSize, static_cast<unsigned>(i));
  }
}

void AddFolder(CZipArchive& zip, const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string path = dir + "/" + n;
    zip.AddNewFile(path.c_str(), 6, false);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) AddFolder(zip, path);
  }
  closedir(d);
}

template <class F>
void Timed(benchmark::State& state, const char* key, F&& body) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    body();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    g_seconds[key] = s;
  }
}

void CreateOurs(benchmark::State& state) {
  Timed(state, "create-ours", [] {
    CZipArchive zip;
    zip.Open((g_root + "/ours.zip").c_str(), CZipArchive::zipCreate);
    zip.SetRootPath(g_src.c_str());
    AddFolder(zip, g_src);
    zip.Close();
  });
}

void CreateZip(benchmark::State& state) {
  Timed(state, "create-zip", [] { Shell("cd '" + g_src + "' && zip -6 -qr '" + g_root + "/tool.zip' ."); });
}

void ExtractOurs(benchmark::State& state) {
  Timed(state, "extract-ours", [] {
    Shell("rm -rf '" + g_root + "/x-ours'");
    CZipArchive zip;
    zip.Open((g_root + "/ours.zip").c_str(), CZipArchive::zipOpenReadOnly);
    for (int i = 0; i < zip.GetCount(); ++i) zip.ExtractFile(static_cast<WORD>(i), (g_root + "/x-ours").c_str());
    zip.Close();
  });
}

void ExtractUnzip(benchmark::State& state) {
  Timed(state, "extract-unzip", [] {
    Shell("rm -rf '" + g_root + "/x-unzip'");
    Shell("unzip -q '" + g_root + "/ours.zip' -d '" + g_root + "/x-unzip'");
  });
}

}  // namespace

BENCHMARK(CreateOurs)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CreateZip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ExtractOurs)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ExtractUnzip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxbench-zip-XXXXXX";
  if (!mkdtemp(tmpl.data())) return 1;
  g_root = tmpl;
  g_src = g_root + "/src";
  mkdir(g_src.c_str(), 0755);
  const char* mb = std::getenv("KX_BENCH_MB");
  MakeTree(mb && std::atoi(mb) > 0 ? static_cast<size_t>(std::atoi(mb)) : 100);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  auto ratio = [](const char* what, const char* ours, const char* tool) {
    if (g_seconds.count(ours) && g_seconds.count(tool) && g_seconds[tool] > 0)
      std::printf("%s: time ours / tool = %.2f\n", what, g_seconds[ours] / g_seconds[tool]);
  };
  ratio("create (zip -6)", "create-ours", "create-zip");
  ratio("extract (unzip)", "extract-ours", "extract-unzip");
  struct stat a, b;
  if (stat((g_root + "/ours.zip").c_str(), &a) == 0 && stat((g_root + "/tool.zip").c_str(), &b) == 0 && b.st_size > 0)
    std::printf("archive size ours / zip -6 = %.3f\n", static_cast<double>(a.st_size) / static_cast<double>(b.st_size));
  Shell("rm -rf '" + g_root + "'");
  return 0;
}
