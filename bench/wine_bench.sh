#!/usr/bin/env bash
# The scan benchmark under Wine. The native scan_bench makes a synthetic
# system (--save); it is put into a fresh Wine prefix (the registry imported
# with Wine's regedit, the files copied into its drive C:), and then, on the
# same registry:
#  - live_scan_bench.exe: the bare walk and the full scan, in one process;
#  - quillmend-scan.exe --json: the full scan as a user runs it;
#  - Wine's own reg export of HKLM and of HKEY_USERS.
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

echo "== wall-clock times of whole programs"
start=$(seconds "$run" cmd /c exit 0)
scan=$(seconds "$run" "$windows/src/cli/quillmend-scan.exe" --json)
hklm=$(seconds "$run" reg export HKLM "$(winpath "$work/hklm.reg")" /y)
hku=$(seconds "$run" reg export HKU "$(winpath "$work/hku.reg")" /y)
python3 - "$start" "$scan" "$hklm" "$hku" <<'EOF'
import sys
start, scan, hklm, hku = map(float, sys.argv[1:])
export = hklm + hku
print(f"starting a program under Wine: {start:.2f} s")
print(f"quillmend-scan.exe --json: {scan:.2f} s")
print(f"reg export HKLM: {hklm:.2f} s, reg export HKU: {hku:.2f} s, together {export:.2f} s")
print(f"scan / reg export: {scan / export:.2f} "
      f"(without the program starts: {(scan - start) / max(export - 2 * start, 1e-9):.2f})")
EOF
