#!/usr/bin/env bash
# Copies the pictures the window tests took into the source tree as PNG:
# docs/screenshots/ (the current set) and docs/help/images/ (the user guide's,
# which ships beside Quillmend.exe).
#
#   tests/gui/update-screenshots.sh [BUILD_FOLDER]   (default build/windows)
#
# Run it after a run of quillmend_gui_test; ImageMagick's convert does the
# conversion (scripts/setup.sh installs it).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd -P)
build=${1:-$top/build/windows}
shots=$build/tests/gui/screenshots
[ -d "$shots" ] || { echo "update-screenshots: no pictures in $shots; run quillmend_gui_test first" >&2; exit 1; }
mkdir -p "$top/docs/screenshots" "$top/docs/help/images"
n=0
for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    name=$(basename "$bmp" .bmp)
    convert "$bmp" -strip "$top/docs/screenshots/$name.png"
    cp "$top/docs/screenshots/$name.png" "$top/docs/help/images/$name.png"
    n=$((n + 1))
done
echo "update-screenshots: $n pictures in docs/screenshots and docs/help/images"
