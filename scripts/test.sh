#!/usr/bin/env bash
# Sets everything up, builds both presets and runs every test: the native
# build under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in native windows; do
    echo "== $preset: configure and build"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in native windows; do
    echo "== $preset: tests"
    ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
