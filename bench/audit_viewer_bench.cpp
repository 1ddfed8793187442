// The audit log viewer (the audit sheet's first page, opened through the loaded library) on logs of 200 and
// 50,000 entries: the time from the export call until the list holds every entry, and the memory the viewer
// adds, against the log file's size. Built on the settings sheets' tests' set-up; a benchmark, run by hand.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/bench_auditlog.h"
#include "bench/bench_util.h"
#include "formats/AuditLog.h"
#include "settingsui/settings_fixture.h"

namespace {

using namespace settingstest;

long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return 0;
}

struct Result {
  double seconds = 0;
  long addedKiB = 0, logKiB = 0;
};

class AuditViewerBench : public SettingsTest {
 protected:
  // One opening of the viewer on a log of count entries, in a child process of its own.
  Result Open(DWORD count) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    kxbench::InChild([&] {
      close(fds[0]);
      Result r;
      CString path;
      if (!CAuditLog().GetLogFilePath(path) || !kxbench::WriteAuditLog(path, count)) _exit(2);
      struct stat st {};
      stat(path, &st);
      r.logKiB = static_cast<long>(st.st_size / 1024);
      // The peak from here on.
      std::ofstream("/proc/self/clear_refs") << "5";
      const long before = StatusKiB("VmRSS:");
      double start = kxbench::Now();
      ShowWindowExport("DisplayAuditEventLog", [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Auditing and Event Log", 600000);
        HWND page = Page(d, sheet, 4234);
        HWND list = d.Control(page, 1033);
        kx::ControlDriver c(d);
        // Its own opening is an entry too.
        d.WaitUntil([&] { return c.ListRowCount(list) == static_cast<int>(count) + 1; }, "every entry listed", 600000);
        r.seconds = kxbench::Now() - start;
        d.Click(d.Control(sheet, IDCANCEL));
        d.WaitForGone(sheet);
      });
      r.addedKiB = StatusKiB("VmHWM:") - before;
      if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(3);
      std::_Exit(0);
    });
    close(fds[1]);
    Result r;
    if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) std::fprintf(stderr, "a run failed\n");
    close(fds[0]);
    return r;
  }
};

TEST_F(AuditViewerBench, FiftyThousandEntriesAgainstTwoHundred) {
  std::vector<double> small, large, memory, log;
  for (int i = 0; i < kxbench::Runs(); ++i) {
    Result s = Open(200), l = Open(50000);
    small.push_back(s.seconds);
    large.push_back(l.seconds);
    memory.push_back(static_cast<double>(l.addedKiB));
    log.push_back(static_cast<double>(l.logKiB));
  }
  const double ratio = kxbench::Median(large) / kxbench::Median(small);
  const double mem = kxbench::Median(memory) / kxbench::Median(log);
  std::printf("audit viewer: 200 entries %.3f s, 50,000 entries %.3f s: ratio %.1fx (target within 10x: %s); "
              "memory added %.1f MiB for a %.1f MiB log: %.2fx (target under 2x: %s)\n",
              kxbench::Median(small), kxbench::Median(large), ratio, ratio <= 10 ? "met" : "NOT met",
              kxbench::Median(memory) / 1024, kxbench::Median(log) / 1024, mem, mem < 2 ? "met" : "NOT met");
}

}  // namespace
