#!/usr/bin/env bash
# Builds the whole tree with AddressSanitizer, LeakSanitizer and UBSan and runs every test under them. Any report
# ends the program that made it, so it shows as a failed test; the options and the suppressions of third-party
# code are in tests/support/sanitizers.cpp and tests/support/lsan.supp. Arguments go to ctest (e.g. -R drawctl).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${BUILD_DIR:-build-asan}
jobs=${JOBS:-$(nproc)}
# -O1: the sanitizers' usual level, quicker to build than the ordinary build's -O2 and still fast enough to run.
cmake -S . -B "$build" -G Ninja -DKX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" >/dev/null
cmake --build "$build" -j "$jobs"
cd "$build"
# Checked programs run a few times slower: the UI driver's waits get more time.
export KX_UI_TIMEOUT_MS=${KX_UI_TIMEOUT_MS:-60000}
ctest --output-on-failure -j "$jobs" --timeout 1800 "$@"
