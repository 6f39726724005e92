#!/usr/bin/env bash
# Find in Quillmend.exe's window against quillmend-scan.exe --json, on the
# prefix that bench/wine_bench.sh seeds (the synthetic system of scan_bench
# --save, imported with regedit), alternated ROUNDS times after a warm-up by
# gui_scan_bench.exe, which prints the median ratio with min-max. The window
# runs on a private Xvfb (tests/ui/run_with_xvfb.sh). Then the same scan in
# one process with and without a second, idle thread (thread_scan_bench.exe),
# alternated as often: what a second thread alone costs under emulation.
#
# usage: bench/gui_bench.sh NATIVE_BUILD WINDOWS_BUILD [SCALE] [ROUNDS [minimised]]
#   NATIVE_BUILD   a build folder with scan_bench (the bench preset: build/bench)
#   WINDOWS_BUILD  a Windows build folder configured with -DQM_BUILD_BENCH=ON
#   SCALE          as for wine_bench.sh (default 0.15)
#   ROUNDS         measured rounds of each (default 3)
#   minimised      the main window minimised while it scans (nothing to paint)
# QM_BENCH_WORK and QM_BENCH_REUSE=1 work as for wine_bench.sh.
# QM_BENCH_COMPARE=OTHER/Quillmend.exe times Find in that build too, right
# after this one's in each round, and prints its ratios (before and after a
# change, in one run).
set -euo pipefail

[ $# -ge 2 ] || { sed -n '2,/^set /p' "$0" | sed '$d'; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
windows=$(cd "$2" && pwd)
work=${QM_BENCH_WORK:-/tmp/qm-wine-bench}
export QM_WINEPREFIX="$work/wineprefix"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

QM_BENCH_SEED_ONLY=1 "$top/bench/wine_bench.sh" "$1" "$2" "${3:-0.15}"

# The program in a folder of its own, so that its Backup folder is the
# benchmark's.
rm -rf "$work/app"
mkdir -p "$work/app"
cp "$windows/src/app/Quillmend.exe" "$work/app/"
compare=()
if [ -n "${QM_BENCH_COMPARE:-}" ]; then
    rm -rf "$work/app-compare"
    mkdir -p "$work/app-compare"
    cp "$QM_BENCH_COMPARE" "$work/app-compare/Quillmend.exe"
    compare=(--compare "$(winpath "$work/app-compare/Quillmend.exe")")
fi

echo "== Find in the window against the headless scan"
"$top/tests/ui/run_with_xvfb.sh" "$top/cmake/wine-run.sh" "$windows/bench/gui_scan_bench.exe" \
    "$(winpath "$work/app/Quillmend.exe")" "$(winpath "$windows/src/cli/quillmend-scan.exe")" \
    "${4:-3}" "${@:5}" "${compare[@]}"

echo "== the scan in one process, without and with a second thread"
for _ in $(seq 1 "${4:-3}"); do
    "$top/cmake/wine-run.sh" "$windows/bench/thread_scan_bench.exe"
    "$top/cmake/wine-run.sh" "$windows/bench/thread_scan_bench.exe" --idle-thread
done | tee "$work/threads.txt"
python3 - "$work/threads.txt" <<'PY'
import re
import statistics
import sys

times = {"without": [], "with": []}
for line in open(sys.argv[1]):
    m = re.match(r"scan (without|with) a second thread: ([0-9.]+) s", line)
    if m:
        times[m.group(1)].append(float(m.group(2)))
ratios = [w / max(s, 1e-9) for w, s in zip(times["with"], times["without"])]
if ratios:
    print(f"with / without a second thread: median {statistics.median(ratios):.2f} "
          f"({min(ratios):.2f}-{max(ratios):.2f} over {len(ratios)} rounds)")
PY
