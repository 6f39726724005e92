#!/usr/bin/env bash
# Shows Quillmend on the built-in demo machine (demo/README.md).
#
# With a display (DISPLAY set): sets up the build tools and Wine, builds
# Quillmend.exe (the windows preset), seeds a Wine prefix with the demo
# (build/windows/demo-prefix: demo/registry.reg imported, demo/drive_c copied
# in) and opens Quillmend.exe in it under Wine. Arguments go to Quillmend.exe
# (for example -s for the silent start). Each run imports the demo again, so
# entries a Fix removed come back.
#
# Without a display (or with QM_DEMO_GUI=0): sets up what the native build
# needs, builds the headless scanner and scans the demo (demo/registry.reg
# against the folder demo/drive_c as drive C:), printing the report.
# Arguments go to quillmend-scan, for example --json.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${DISPLAY:-}" ] && [ "${QM_DEMO_GUI:-1}" != 0 ]; then
    bash scripts/setup.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target Quillmend
    prefix=$PWD/build/windows/demo-prefix
    scripts/seed-demo-prefix.sh "$prefix"
    echo
    echo "demo: opening Quillmend.exe in $prefix (close its window to end)"
    QM_WINEPREFIX=$prefix exec cmake/wine-run.sh build/windows/src/app/Quillmend.exe "$@"
fi

QM_SKIP_WINE=1 bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target quillmend-scan
echo
exec build/native/src/cli/quillmend-scan "$@"
