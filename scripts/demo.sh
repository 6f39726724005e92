#!/usr/bin/env bash
# Sets up what the native build needs, builds the headless scanner and scans
# the built-in demo (demo/registry.reg against the folder demo/drive_c as
# drive C:), printing the report. Arguments are passed on to quillmend-scan,
# for example --json.
set -euo pipefail
cd "$(dirname "$0")/.."

QM_SKIP_WINE=1 bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target quillmend-scan
echo
exec build/native/src/cli/quillmend-scan "$@"
