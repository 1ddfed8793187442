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
  double cpuSeconds = 0;  // user and system time of the child
};

inline double CpuOf(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits for the child started at start; its wall time, peak memory and CPU time (its own children's too).
inline Sample WaitFor(pid_t pid, double start, const char* what) {
  Sample s;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  s.seconds = Now() - start;
  s.peakKiB = usage.ru_maxrss;
  s.cpuSeconds = CpuOf(usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "failed: %s\n", what);
  return s;
}

// Runs the command through /bin/sh in a child.
inline Sample Command(const std::string& command) {
  std::fflush(nullptr);
  double start = Now();
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return WaitFor(pid, start, command.c_str());
}

// Runs the code in a child process, so that its peak memory is its own.
inline Sample InChild(const std::function<void()>& code) {
  std::fflush(nullptr);
  double start = Now();
  pid_t pid = fork();
  if (pid == 0) {
    code();
    std::fflush(nullptr);
    _exit(0);
  }
  return WaitFor(pid, start, "a measured run");
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
  // KX_BENCH_ONLY: only the comparisons whose name starts with it.
  if (const char* only = std::getenv("KX_BENCH_ONLY"); only && *only && std::string(what).rfind(only, 0) != 0) return 0;
  std::vector<double> a, b, ma, mb, ca, cb;
  for (int i = 0; i < runs; ++i) {
    Sample x = ours(), y = tool();
    a.push_back(x.seconds);
    b.push_back(y.seconds);
    ca.push_back(x.cpuSeconds);
    cb.push_back(y.cpuSeconds);
    ma.push_back(static_cast<double>(x.peakKiB));
    mb.push_back(static_cast<double>(y.peakKiB));
  }
  double ta = Median(a), tb = Median(b);
  double ratio = tb > 0 ? ta / tb : 0;
  std::printf("%-34s ours %9.3f s  %-16s %9.3f s  ratio %5.2fx", what, ta, toolName, tb, ratio);
  if (Median(cb) > 0) std::printf("  cpu ratio %5.2fx", Median(ca) / Median(cb));
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
