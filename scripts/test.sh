#!/usr/bin/env bash
# Sets everything up, builds both presets and runs every test: the native
# build under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows
# build under Wine, and each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
phase() { echo "== $1 (at $((SECONDS - started)) s)"; }

bash scripts/setup.sh

jobs=$(nproc)
for preset in native windows; do
    phase "$preset: configure and build"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in native windows; do
    phase "$preset: tests"
    ctest --preset "$preset" -j "$jobs" || status=1
done

# Each fuzz target briefly, from its seeds (scripts/fuzz.sh).
if command -v clang++ >/dev/null; then
    phase "fuzz: each target for 20 s, at most 3 minutes in all"
    bash scripts/fuzz.sh --ci 20 || status=1
fi
phase "done, $([ $status = 0 ] && echo passed || echo FAILED)"
exit $status
