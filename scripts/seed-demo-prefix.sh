#!/usr/bin/env bash
# Makes (or refreshes) a Wine prefix that holds the built-in demo machine, so
# that Quillmend.exe has something to find when it runs in it:
#
#   scripts/seed-demo-prefix.sh PREFIX
#
# - The prefix is made by cmake/wine-run.sh on first use (about 40 s).
# - demo/registry.reg is imported with Wine's own regedit.exe.
# - demo/drive_c is copied into the prefix's drive_c. Folder names are matched
#   without regard to case (the demo has WINDOWS, Wine has windows), and a
#   file that is already there is left alone: the demo's empty stand-ins
#   (regedit.exe, notepad.exe, shell32.dll ...) never replace Wine's own.
# - The Wine server is stopped and waited for, so the registry is on disk when
#   it ends; every step is checked, and a failed one shows its Wine log.
#
# Paths in the demo registry that do not fit Wine's layout (such as
# "C:\Documents and Settings\...") are left as they are: they either are
# meant to be broken or are made by the copy.
set -euo pipefail

die() { printf 'seed-demo-prefix: %s\n' "$*" >&2; exit 1; }

[ $# -eq 1 ] || die "usage: seed-demo-prefix.sh PREFIX"
top=$(cd "$(dirname "$0")/.." && pwd -P)
prefix=$(realpath -m -- "$1")
run=$top/cmake/wine-run.sh

# All steps share one Wine server, stopped at the end, when it writes the
# registry to the prefix. (A server that stops after each program is booted
# again for each step, and each program then meets a server that is still
# stopping, or starts one itself with the caller's output as the output of
# Wine's background programs.)
export QM_WINEPREFIX=$prefix

# Wine sees the host's "/" as drive Z:.
winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

# Each Wine step's diagnostics go to a log beside the prefix, and a failed
# step shows its log. Wine's regedit ends with status 0 even when it could
# not read the file, and a Wine program whose server drops its connection
# ends with status 0 having done nothing, so the import is checked by what
# reg prints, not by a status.
log=$prefix.seed.log
: >"$log"
export WINEDEBUG=${WINEDEBUG:-err+all,fixme-all}
step() {
    local what=$1
    shift
    printf '== %s: %s\n' "$(date +%T)" "$*" >>"$log"
    local status=0
    "$@" </dev/null >>"$log" 2>&1 || status=$?
    if [ $status != 0 ]; then
        tail -n 40 -- "$log" >&2
        die "$what (status $status; log: $log)"
    fi
}

echo "seed-demo-prefix: importing demo/registry.reg into $prefix"
step "regedit could not import the demo registry" \
    "$run" regedit /s "$(winpath "$top/demo/registry.reg")"
printf '== %s: reg query HKLM\\SOFTWARE\\Quillpad\n' "$(date +%T)" >>"$log"
query=$("$run" reg query 'HKLM\SOFTWARE\Quillpad' </dev/null 2>>"$log") || true
printf '%s\n' "$query" >>"$log"
if ! grep -q 'InstallDir' <<<"$query"; then
    tail -n 40 -- "$log" >&2
    die "the demo registry is not in the prefix after the import (log: $log)"
fi

echo "seed-demo-prefix: copying demo/drive_c into $prefix/drive_c"
python3 - "$top/demo/drive_c" "$prefix/drive_c" <<'EOF'
import os
import shutil
import sys

source, target = sys.argv[1], sys.argv[2]


def entry(folder, name):
    """The entry of `folder` whose name matches `name` ignoring case, or the
    name itself when there is none."""
    try:
        for existing in os.listdir(folder):
            if existing.lower() == name.lower():
                return os.path.join(folder, existing)
    except FileNotFoundError:
        pass
    return os.path.join(folder, name)


copied = kept = 0
stack = [(source, target)]
while stack:
    src, dst = stack.pop()
    os.makedirs(dst, exist_ok=True)
    for name in sorted(os.listdir(src)):
        s = os.path.join(src, name)
        d = entry(dst, name)
        if os.path.isdir(s):
            stack.append((s, d))
        elif os.path.lexists(d):
            kept += 1
        else:
            shutil.copyfile(s, d)
            copied += 1
print(f"seed-demo-prefix: {copied} files copied, {kept} of Wine's own left alone")
EOF

# -k stops the server and Wine's background programs, and the server writes
# the registry as it goes; -w waits until it has.
"$run" --wineserver -k </dev/null >>"$log" 2>&1 || true
step "the prefix's Wine server did not stop" "$run" --wineserver -w
grep -q '^\[Software\\\\Quillpad\]' "$prefix/system.reg" ||
    die "the demo registry is not in $prefix/system.reg after the server stopped (log: $log)"
echo "seed-demo-prefix: done"
