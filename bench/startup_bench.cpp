// Start-up of the library as a host meets it, in a fresh process per run: loading libbrinmoor.so through the
// platform's loader (its start-up runs, on a fresh root so it writes its defaults), then the first export call
// until its first window shows (the library's Yes/No message, answered No by the driver).
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
};

// One run in a child: writes the two times to the pipe.
Times RunOnce(int run) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  std::string root = kxbench::TempRoot("startup");
  kxbench::InChild([&] {
    close(fds[0]);
    setenv("KESMORA_ROOT", root.c_str(), 1);
    setenv("KX_HEADLESS", "1", 1);  // the driver answers the window
    Times t;
    double start = kxbench::Now();
    HMODULE module = LoadLibrary("Brinmoor.DLL");
    t.load = kxbench::Now() - start;
    if (!module) _exit(2);
    using YesNo = int(HWND, LPCSTR, int*);
    auto* fn = reinterpret_cast<YesNo*>(GetProcAddress(module, "ShowMessageYesNo"));
    if (!fn) _exit(3);
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
      _exit(5);
    }
    if (write(fds[1], &t, sizeof t) != static_cast<ssize_t>(sizeof t)) _exit(4);
  });
  close(fds[1]);
  Times t;
  if (read(fds[0], &t, sizeof t) != static_cast<ssize_t>(sizeof t)) std::fprintf(stderr, "run %d failed\n", run);
  close(fds[0]);
  kxbench::Shell("rm -rf '" + root + "'");
  return t;
}

}  // namespace

int main() {
  int runs = kxbench::Runs();
  std::vector<double> load, window;
  for (int i = 0; i < runs; ++i) {
    Times t = RunOnce(i);
    load.push_back(t.load);
    window.push_back(t.firstWindow);
  }
  std::printf("%-34s median %8.1f ms over %d runs\n", "library load and start-up", kxbench::Median(load) * 1e3, runs);
  std::printf("%-34s median %8.1f ms over %d runs\n", "first export call to its window", kxbench::Median(window) * 1e3,
              runs);
  return 0;
}
