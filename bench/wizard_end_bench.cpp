// How long a wizard's end waits for its worker: a worker that sets its done flag and then makes the workers'
// closing pause (1200 ms), and a sheet that ends as soon as it sees the flag. Before the sheet woke its
// worker, the end took the rest of that pause.
#include <atomic>
#include <cstdio>

#include "app/SheetWorker.h"
#include "bench/bench_util.h"
#include "platform/win32/sync.h"

using namespace kxbench;

namespace {

std::atomic<int> g_done{0};

UINT Worker(LPVOID) {
  g_done.store(1);
  WorkerClosingPause(1200);
  return 0;
}

}  // namespace

int main() {
  std::vector<double> ends;
  for (int i = 0; i < Runs(); ++i) {
    g_done.store(0);
    auto* sheet = new CSheetWorker;
    sheet->Start(Worker, nullptr);
    while (!g_done.load()) Sleep(1);
    double start = Now();
    delete sheet;  // the sheet's end
    ends.push_back(Now() - start);
  }
  std::printf("wizard end after the worker's done flag: %.1f ms (median; the worker's pause is 1200 ms)\n",
              Median(ends) * 1000);
  return 0;
}
