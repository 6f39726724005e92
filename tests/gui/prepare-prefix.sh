#!/usr/bin/env bash
# Gets a Wine prefix holding the demo ready for the window tests of
# Quillmend.exe, once per test run:
#
#   prepare-prefix.sh WORK QUILLMEND_EXE SCAN_EXE SOURCE
#
# WORK/template   a prefix seeded with scripts/seed-demo-prefix.sh; made again
#                 only when the demo, the seeding script or the headless
#                 scanner changed (WORK/template.stamp), since that takes a
#                 minute or two under emulation
# WORK/expected.tsv  what quillmend-scan.exe finds in the template, all eight
#                 categories: one line per item, category, key, value name,
#                 data and detail text separated by tabs (tabs, line breaks
#                 and backslashes in the fields written as \t, \n and \\)
# WORK/prefix     a fresh copy of the template for this run
# WORK/app        Quillmend.exe and its help folder, so that its Backup
#                 folder is the test's own
set -euo pipefail

die() { printf 'prepare-prefix: %s\n' "$*" >&2; exit 1; }

[ $# -eq 4 ] || die "usage: prepare-prefix.sh WORK QUILLMEND_EXE SCAN_EXE SOURCE"
work=$(realpath -m -- "$1")
app_exe=$2
scan_exe=$3
source=$(cd "$4" && pwd -P)
run=$source/cmake/wine-run.sh
mkdir -p -- "$work"

# Stops the Wine server of a prefix (and every program still running in it)
# when the prefix exists; the runner would make a missing one first.
stop_server() {
    if [ -f "$1/.quillmend-ready" ]; then
        QM_WINEPREFIX=$1 "$run" --wineserver -k </dev/null >/dev/null 2>&1 || true
        QM_WINEPREFIX=$1 "$run" --wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
}

stamp=$( { cat -- "$source/demo/registry.reg" "$source/scripts/seed-demo-prefix.sh" "$scan_exe"
           (cd "$source/demo/drive_c" && find . | LC_ALL=C sort); } | sha256sum | cut -d' ' -f1)
template=$work/template
# A template is reused only when it is whole: made for these inputs, with
# its expectations, and with the demo in its registry on disk.
if [ "$(cat -- "$template.stamp" 2>/dev/null)" != "$stamp" ] || [ ! -s "$work/expected.tsv" ] ||
   [ ! -f "$template/.quillmend-ready" ] ||
   ! grep -q '^\[Software\\\\Quillpad\]' "$template/system.reg" 2>/dev/null; then
    stop_server "$template"
    rm -rf -- "$template" "$template.stamp" "$work/expected.tsv"
    "$source/scripts/seed-demo-prefix.sh" "$template"
    echo "prepare-prefix: scanning the template with quillmend-scan"
    (cd "$work" && QM_WINEPREFIX=$template "$run" "$scan_exe" --json \
        </dev/null >"$work/expected.json" 2>"$work/expected.log") || {
        cat -- "$work/expected.log" >&2
        die "quillmend-scan failed in the template prefix"
    }
    stop_server "$template"
    python3 - "$work/expected.json" "$work/expected.tsv" <<'EOF'
import json
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
try:
    result = json.loads(text)
except ValueError as error:
    sys.exit(f"prepare-prefix: quillmend-scan's output is not JSON ({error}): {text[:200]!r}")
if not result.get("items"):
    sys.exit("prepare-prefix: quillmend-scan found nothing in the template prefix")


def field(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


with open(sys.argv[2], "w", encoding="cp1252", newline="\n") as out:
    for item in result["items"]:
        out.write("\t".join([str(item["category"])] + [field(item[k]) for k in
                            ("keyPath", "valueName", "data", "detail")]) + "\n")
print(f"prepare-prefix: {len(result['items'])} items expected, by category {result['counts']}")
EOF
    printf '%s\n' "$stamp" >"$template.stamp"
fi

stop_server "$work/prefix"
rm -rf -- "$work/prefix"
cp -a -- "$template" "$work/prefix"

rm -rf -- "$work/app"
mkdir -p -- "$work/app"
cp -- "$app_exe" "$work/app/Quillmend.exe"
if [ -d "$source/docs/help" ]; then
    cp -r -- "$source/docs/help" "$work/app/help"
fi
echo "prepare-prefix: $work/prefix and $work/app are ready"
