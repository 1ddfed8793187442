// Start-up of the library as a host meets it, in a fresh process per run: loading libbrinmoor.so through the
// platform's loader (its start-up runs), then the first export call until its first window shows (the
// library's Yes/No message, answered No by the driver). Once on a fresh state folder, where it writes its
// defaults, and once more on the folder the first run left; each run counts its fsync and fdatasync calls
// (a counter loaded with LD_PRELOAD: the bench runs itself again for each run).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/ui/driver.h"
#include "platform/win32/modules.h"

namespace {

struct Times {
  double load = 0, firstWindow = 0;
  long syncs = -1;
};

std::string g_self;

// The measured run, in the child the bench started again with the counter loaded.
int Child(const char* root, int fd) {
  setenv("KESMORA_ROOT", root, 1);
  setenv("KX_HEADLESS", "1", 1);  // the driver answers the window
  Times t;
  double start = kxbench::Now();
  HMODULE module = LoadLibrary("Brinmoor.DLL");
  t.load = kxbench::Now() - start;
  if (!module) return 2;
  using YesNo = int(HWND, LPCSTR, int*);
  auto* fn = reinterpret_cast<YesNo*>(GetProcAddress(module, "ShowMessageYesNo"));
  if (!fn) return 3;
  int answer = 0;
  double call = 0;
  try {
    kx::RunWithUiHere(
        [&] {
          call = kxbench::Now();
          return static_cast<INT_PTR>(fn(nullptr, "Keep the old file?", &answer));
        },
        [&](kx::UiDriver& d) {
          HWND box = d.WaitForTitle("Office Tolvex");
          t.firstWindow = kxbench::Now() - call;
          kx::WindowQuery no;
          no.parent = box;
          no.className = "Button";
          no.title = "No";
          d.Click(d.Find(no));
          d.WaitForGone(box);
        });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 5;
  }
  // Counted up to here: the host goes on running after its first window.
  if (auto* count = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, "kx_sync_count"))) t.syncs = count();
  if (write(fd, &t, sizeof t) != static_cast<ssize_t>(sizeof t)) return 4;
  return 0;
}

// One run on the root, in a process of its own.
Times RunOnce(const std::string& root) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string counter = g_self.substr(0, g_self.rfind('/') + 1) + "libkx_sync_counter.so";
    setenv("LD_PRELOAD", counter.c_str(), 1);
    std::string fd = std::to_string(fds[1]);
    execl(g_self.c_str(), g_self.c_str(), "--child", root.c_str(), fd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  Times t;
  if (read(fds[0], &t, sizeof t) != static_cast<ssize_t>(sizeof t)) std::fprintf(stderr, "a run failed\n");
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return t;
}

void Report(const char* what, const std::vector<Times>& runs, long target) {
  std::vector<double> load, window, syncs;
  for (const Times& t : runs) {
    load.push_back(t.load);
    window.push_back(t.firstWindow);
    syncs.push_back(static_cast<double>(t.syncs));
  }
  const double s = kxbench::Median(syncs);
  std::printf("%-24s load and start-up %7.1f ms, first window %6.1f ms, syncs %4.0f (target <= %ld: %s), median "
              "of %zu\n",
              what, kxbench::Median(load) * 1e3, kxbench::Median(window) * 1e3, s, target,
              s >= 0 && s <= static_cast<double>(target) ? "met" : "NOT met", runs.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") _exit(Child(argv[2], std::atoi(argv[3])));
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  g_self.assign(self, static_cast<size_t>(n));
  std::vector<Times> fresh, existing;
  for (int i = 0; i < kxbench::Runs(); ++i) {
    std::string root = kxbench::TempRoot("startup");
    fresh.push_back(RunOnce(root));
    existing.push_back(RunOnce(root));
    kxbench::Shell("rm -rf '" + root + "'");
  }
  Report("fresh state folder", fresh, 4);
  Report("existing state folder", existing, 2);
  return 0;
}
