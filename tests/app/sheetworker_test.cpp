// A wizard's worker thread: ending the sheet wakes the worker from its closing pause.
#include <gtest/gtest.h>

#include <atomic>

#include "app/SheetWorker.h"
#include "platform/win32/sync.h"

namespace {

std::atomic<int> g_stage{0};

UINT PausingWorker(LPVOID) {
  g_stage = 1;
  // Not woken, the sheet's end would wait here for ever.
  WorkerClosingPause(INFINITE);
  g_stage = 2;
  return 0;
}

}  // namespace

TEST(SheetWorker, EndingTheSheetWakesTheWorkerFromItsClosingPause) {
  CSheetWorker worker;
  for (int run = 0; run < 2; ++run) {  // the same sheet runs a worker again after an end
    g_stage = 0;
    ASSERT_TRUE(worker.Start(PausingWorker, nullptr));
    while (g_stage.load() == 0) Sleep(1);
    EXPECT_TRUE(worker.IsRunning());
    worker.End();
    EXPECT_EQ(g_stage.load(), 2);
    EXPECT_FALSE(worker.IsRunning());
  }
}
