// Helpers of the side-by-side benchmarks: wall time of a piece of code or of a command, the peak memory of a
// command, runs alternated between the two sides and their medians.
#pragma once

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kxbench {

struct Sample {
  double seconds = 0;
  long peakKiB = 0;  // peak resident memory, when known
};

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs the command through /bin/sh in a child; its wall time and peak resident memory.
inline Sample Command(const std::string& command) {
  Sample s;
  double start = Now();
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  s.seconds = Now() - start;
  s.peakKiB = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return s;
}

// Runs the code in a child process (so that its peak memory is its own); wall time and peak memory.
inline Sample InChild(const std::function<void()>& code) {
  Sample s;
  double start = Now();
  pid_t pid = fork();
  if (pid == 0) {
    code();
    std::fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  s.seconds = Now() - start;
  s.peakKiB = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "a measured run failed\n");
  return s;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs the sides in turn, runs times each, alternating; prints and returns the medians and their ratio
// (first side over second).
inline double Compare(const char* what, int runs, const std::function<Sample()>& ours, const char* toolName,
                      const std::function<Sample()>& tool) {
  std::vector<double> a, b, ma, mb;
  for (int i = 0; i < runs; ++i) {
    Sample x = ours(), y = tool();
    a.push_back(x.seconds);
    b.push_back(y.seconds);
    ma.push_back(static_cast<double>(x.peakKiB));
    mb.push_back(static_cast<double>(y.peakKiB));
  }
  double ta = Median(a), tb = Median(b);
  double ratio = tb > 0 ? ta / tb : 0;
  std::printf("%-34s ours %9.3f s  %-16s %9.3f s  ratio %5.2fx", what, ta, toolName, tb, ratio);
  if (Median(ma) > 0 && Median(mb) > 0)
    std::printf("  peak MiB ours %7.1f  tool %7.1f", Median(ma) / 1024, Median(mb) / 1024);
  std::printf("\n");
  std::fflush(stdout);
  return ratio;
}

inline int Runs() {
  const char* r = std::getenv("KX_BENCH_RUNS");
  int n = r ? std::atoi(r) : 0;
  return n > 0 ? n : 3;
}

inline std::string TempRoot(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxbench-" + name + "-XXXXXX";
  if (!mkdtemp(tmpl.data())) std::exit(1);
  return tmpl;
}

inline int Shell(const std::string& command) { return std::system(command.c_str()); }

}  // namespace kxbench
