#!/usr/bin/env bash
# Builds the threaded parts with ThreadSanitizer and the window system's lock assertions (KX_TSAN) and runs their
# tests: the window system and its UI driver, the X back end, the signing workers, the audit log writer and the
# smart card. Any report ends the program that made it, so it shows as a failed test; the options are in
# tests/support/sanitizers.cpp. CI runs this after ./test.sh (.ci/run).
# Arguments go to ctest (e.g. -R X11).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${BUILD_DIR:-build-tsan}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DKX_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" >/dev/null
targets=(test_ui test_x11 test_signing test_formats test_smartcard)
cmake --build "$build" -j "$jobs" --target "${targets[@]}" kxres capicom kxaddres kxtestpages
cd "$build"
# Checked programs run several times slower: the UI driver's waits get more time.
export KX_UI_TIMEOUT_MS=${KX_UI_TIMEOUT_MS:-60000}
if [ $# -eq 0 ]; then
  set -- -R '^(ControlsTest|DialogTest|HitTestTest|MessagesTest|[A-Za-z]*OnX|OwnScreen|Workers|AuditTest|AuditLogChild|Token[A-Za-z]*|PinDialog)\.'
fi
ctest --output-on-failure -j "$jobs" --timeout 1800 "$@"
