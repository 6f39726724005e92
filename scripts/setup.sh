#!/usr/bin/env bash
# Installs what building and testing Quillmend needs, from Debian's packages.
# Run as root to install what is missing; otherwise it lists what to install.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

packages=(
    cmake ninja-build g++ make pkg-config git
    g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libcli11-dev  # the command line of quillmend-scan
    libhivex-dev libhivex0 libhivex-bin
    clang-format
    clang libclang-rt-14-dev  # the fuzz targets (clang does not pull in the fuzzer run-time)
    xvfb xauth x11-utils imagemagick
    nsis
    debootstrap python3
    locales  # the locale sources the Wine tests in other code pages make their locales from
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: these Debian packages are missing; install them as root:" >&2
        echo "  apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine runs the Windows build's tests; it lives in a root of its own (see the
# script for why).
if [ "${QM_SKIP_WINE:-0}" != 1 ]; then
    "$here/setup-wine.sh"
fi
