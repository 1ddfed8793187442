#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job through the host program.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" -j "$(nproc)"
if [ -x "$build/bin/kxhost" ] && [ -f tools/kxhost/main-job.sh ]; then
  exec tools/kxhost/main-job.sh "$build"
fi
echo "Built. The host program has no main job yet."
