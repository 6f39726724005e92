#!/usr/bin/env bash
# The scan benchmark under Wine. The native scan_bench makes a synthetic
# system (--save); it is put into a fresh Wine prefix (the registry imported
# with Wine's regedit, the files copied into its drive C:), and then, on the
# same registry:
#  - live_scan_bench.exe: the bare walk and the full scan, in one process;
#  - then, alternated QM_BENCH_ROUNDS times (default 3): quillmend-scan.exe
#    --json, the full scan as a user runs it; live_scan_bench.exe
#    --scan-only, the same scan alone in a process of the benchmark's; and
#    Wine's own reg export of HKLM and of HKEY_USERS. Each is timed in
#    wall-clock seconds and in CPU seconds (its own and the Wine server's),
#    which the machine's load hardly changes. It prints medians, min-max,
#    and the ratios of the CLI to the benchmark's scan and to reg export.
#
# usage: bench/wine_bench.sh NATIVE_BUILD WINDOWS_BUILD [SCALE]
#   NATIVE_BUILD   a build folder with scan_bench (the bench preset: build/bench)
#   WINDOWS_BUILD  a Windows build folder configured with -DQM_BUILD_BENCH=ON,
#                  with live_scan_bench and quillmend-scan built
#   SCALE          size against a default Windows 11 registry (default 0.15,
#                  about 100,000 keys on top of the prefix's own)
# QM_BENCH_WORK sets the scratch folder (default /tmp/qm-wine-bench);
# QM_BENCH_SEED_ONLY=1 only makes the prefix (bench/gui_bench.sh uses it).
set -euo pipefail

[ $# -ge 2 ] || { sed -n '2,/^set /p' "$0" | sed '$d'; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
scale=${3:-0.15}
work=${QM_BENCH_WORK:-/tmp/qm-wine-bench}
run="$top/cmake/wine-run.sh"
export QM_WINEPREFIX="$work/wineprefix"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
TIMEFORMAT=%R
seconds() { { time "$@" >/dev/null 2>&1; } 2>&1 | tail -1; }
# The CPU seconds this prefix's Wine server has used so far (0 when none runs).
server_cpu() {
    local p prefix
    prefix=$(realpath -m -- "$QM_WINEPREFIX")
    for p in $(pgrep -f wineserver64 || true); do
        if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
            awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / hz }' "/proc/$p/stat"
            return
        fi
    done
    echo 0
}
# measure FILE COMMAND...: "WALL CPU" in seconds for a whole program, its
# output in FILE. CPU is the program's own (user and system, through qemu)
# and the Wine server's while it ran. On a loaded machine the wall time is
# mostly waiting for a core at each round trip to the server, which the CPU
# time leaves out.
measure() {
    local out=$1 before times TIMEFORMAT='%R %U %S'
    shift
    before=$(server_cpu)
    times=$({ time "$@" >"$out" 2>&1; } 2>&1 | tail -1)
    echo "$times $before $(server_cpu)" | awk '{ printf "%s %.2f\n", $1, $2 + $3 + $5 - $4 }'
}

# QM_BENCH_REUSE=1 measures again on the prefix that the last run filled.
if [ "${QM_BENCH_REUSE:-0}" = 1 ] && [ -f "$work/.imported" ]; then
    cd "$work"
else
    rm -rf "$work"
    mkdir -p "$work"
    cd "$work"

    echo "== the synthetic system, and the native benchmark on it"
    "$native/bench/scan_bench" --scale "$scale" --save "$work"

    echo "== a fresh Wine prefix"
    "$run" cmd /c exit 0
    c="$QM_WINEPREFIX/drive_c"
    # Wine's folders keep their own spelling; the files go into them.
    cp -r "$work/drive_c/Windows/System32/." "$c/windows/system32/"
    cp -r "$work/drive_c/Windows/Fonts/." "$c/windows/Fonts/"
    cp -r "$work/drive_c/Program Files/." "$c/Program Files/"
    cp -r "$work/drive_c/ProgramData/." "$c/ProgramData/"

    echo "== importing the registry with regedit"
    echo "import: $(seconds "$run" regedit /s "$(winpath "$work/registry.reg")") s"
    touch "$work/.imported"
fi
[ "${QM_BENCH_SEED_ONLY:-0}" = 1 ] && exit 0

echo "== live_scan_bench.exe (walk and scan in one process)"
"$run" "$windows/bench/live_scan_bench.exe"

# Whole programs, each timed from the outside, A and B in turn so that the
# machine's load falls on both alike.
rounds=${QM_BENCH_ROUNDS:-3}
echo "== whole programs (wall-clock / CPU seconds), alternated $rounds times after a warm-up"
"$run" cmd /c exit 0 >/dev/null 2>&1
times=()
for ((i = 1; i <= rounds; i++)); do
    start=$(measure /dev/null "$run" cmd /c exit 0)
    scan=$(measure scan.json "$run" "$windows/src/cli/quillmend-scan.exe" --json)
    engine=$(measure engine.txt "$run" "$windows/bench/live_scan_bench.exe" --scan-only)
    inside=$(sed -n 's/^full scan, all eight categories: \([0-9.]*\) s.*/\1/p' engine.txt)
    hklm=$(measure /dev/null "$run" reg export HKLM "$(winpath "$work/hklm.reg")" /y)
    hku=$(measure /dev/null "$run" reg export HKU "$(winpath "$work/hku.reg")" /y)
    echo "round $i: start ${start/ / / } s, quillmend-scan.exe ${scan/ / / } s," \
        "live_scan_bench.exe --scan-only ${engine/ / / } s (its scan $inside s)," \
        "reg export ${hklm/ / / } + ${hku/ / / } s"
    times+=("$start $scan $engine $inside $hklm $hku")
done
python3 - "${times[@]}" <<'EOF'
import statistics, sys
rounds = [list(map(float, r.split())) for r in sys.argv[1:]]
start, start_cpu, scan, scan_cpu, engine, engine_cpu, inside, hklm, hklm_cpu, hku, hku_cpu = \
    zip(*rounds)
export = [a + b for a, b in zip(hklm, hku)]
export_cpu = [a + b for a, b in zip(hklm_cpu, hku_cpu)]
def show(values):
    return f"{statistics.median(values):.2f} ({min(values):.2f}-{max(values):.2f})"
def ratio(a, b):
    return show([x / y for x, y in zip(a, b)])
print(f"medians (min-max) of {len(rounds)} rounds, wall-clock / CPU seconds:")
print(f"  starting a program under Wine: {show(start)} / {show(start_cpu)}")
print(f"  quillmend-scan.exe --json: {show(scan)} / {show(scan_cpu)}")
print(f"  live_scan_bench.exe --scan-only: {show(engine)} / {show(engine_cpu)};"
      f" its scan inside: {show(inside)}")
print(f"  reg export HKLM + HKU: {show(export)} / {show(export_cpu)}")
print("ratios, wall-clock / CPU:")
print(f"  quillmend-scan.exe / live_scan_bench.exe --scan-only (the same scan): "
      f"{ratio(scan, engine)} / {ratio(scan_cpu, engine_cpu)}")
print(f"  quillmend-scan.exe / (program start + the scan inside live_scan_bench.exe): "
      f"{ratio(scan, [s + b for s, b in zip(start, inside)])}")
print(f"  quillmend-scan.exe / reg export: {ratio(scan, export)} / {ratio(scan_cpu, export_cpu)}")
EOF
