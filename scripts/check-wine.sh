#!/usr/bin/env bash
# Checks that 32-bit Windows programs run under cmake/wine-run.sh: builds a
# small i686 program that writes and reads back a registry value, runs it
# from a folder of its own with a relative path, and checks its output, its
# exit status, that the value is still in the prefix for Wine's own reg and
# regedit tools, and that regedit writes its export to the current folder.
#
# Usage: scripts/check-wine.sh
#   Uses a fresh Wine prefix in a temporary folder (so it also checks that a
#   prefix can be made), unless QM_WINEPREFIX names one to reuse.
#   QM_KEEP_CHECK=1 keeps the temporary folder for inspection.
set -uo pipefail

top=$(dirname -- "$(dirname -- "$(readlink -f -- "${BASH_SOURCE[0]}")")")
run=$top/cmake/wine-run.sh
cxx=$(command -v i686-w64-mingw32-g++-posix || command -v i686-w64-mingw32-g++) || {
    echo "check-wine: no i686-w64-mingw32 C++ compiler (apt-get install g++-mingw-w64-i686)" >&2
    exit 1
}

work=$(mktemp -d /tmp/quillmend-check-wine.XXXXXX)
own_prefix=
if [ -z "${QM_WINEPREFIX:-}" ]; then
    own_prefix=$work/wineprefix
    export QM_WINEPREFIX=$own_prefix
fi
cleanup() {
    # A prefix of our own goes with the folder, once its Wine server (which
    # writes the registry into it when it stops) is gone.
    [ -n "$own_prefix" ] && [ -f "$own_prefix/system.reg" ] && "$run" --wineserver -k >/dev/null 2>&1
    if [ "${QM_KEEP_CHECK:-}" = 1 ]; then
        echo "check-wine: kept $work"
    else
        rm -rf -- "$work"
    fi
}
trap cleanup EXIT

passed=0
failed=0
check() {
    local name=$1
    shift
    if "$@"; then
        echo "PASS  $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        failed=$((failed + 1))
    fi
}

cat >"$work/probe.cpp" <<'EOF'
// Stores argv[1] in HKCU\Software\Quillmend\WineCheck\Greeting, reads it
// back, and prints it with the current folder; exits with 3.
#include <windows.h>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: probe VALUE\n");
        return 1;
    }
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quillmend\\WineCheck", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "probe: cannot create the key\n");
        return 1;
    }
    if (RegSetValueExA(key, "Greeting", 0, REG_SZ, reinterpret_cast<const BYTE *>(argv[1]),
                       static_cast<DWORD>(std::strlen(argv[1]) + 1)) != ERROR_SUCCESS) {
        std::fprintf(stderr, "probe: cannot set the value\n");
        return 1;
    }
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1, type = 0;
    LONG status = RegQueryValueExA(key, "Greeting", nullptr, &type,
                                   reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        std::fprintf(stderr, "probe: cannot read the value back\n");
        return 1;
    }
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    std::printf("read back: %s\nfolder: %s\npointer size: %u\n", buffer, folder,
                static_cast<unsigned>(sizeof(void *)));
    std::fprintf(stderr, "probe: done\n");
    return 3;
}
EOF

echo "check-wine: compiling the probe with $(basename "$cxx")"
if ! "$cxx" -static -O2 -o "$work/probe.exe" "$work/probe.cpp"; then
    echo "check-wine: the probe does not compile" >&2
    exit 1
fi
mkdir -p "$work/sub"
cd "$work/sub" || exit 1

value="hello from $$ with spaces"
echo "check-wine: running the probe (makes the Wine prefix $QM_WINEPREFIX if needed)"
t=$SECONDS
"$run" ../probe.exe "$value" >out.crlf 2>err.crlf
status=$?
# Windows programs end their lines with CR LF.
tr -d '\r' <out.crlf >out.txt
tr -d '\r' <err.crlf >err.txt
echo "check-wine: took $((SECONDS - t)) s"
sed 's/^/  stdout: /' out.txt
sed 's/^/  stderr: /' err.txt
check "exit status 3 comes back" test "$status" = 3
check "stdout has the value read back" grep -qxF "read back: $value" out.txt
check "the program is 32-bit" grep -qxF "pointer size: 4" out.txt
check "stdout has nothing of stderr" bash -c '! grep -q "probe: done" out.txt'
windows_folder="Z:$(pwd -P | tr / '\\')"
check "the current folder is kept" grep -qixF "folder: $windows_folder" out.txt
check "stderr is passed on separately" grep -qxF "probe: done" err.txt

t=$SECONDS
"$run" reg query 'HKCU\Software\Quillmend\WineCheck' /v Greeting 2>&1 | tr -d '\r' >reg.txt
status=${PIPESTATUS[0]}
echo "check-wine: reg query took $((SECONDS - t)) s"
check "Wine's reg finds the value in the prefix" \
    bash -c '[ "$1" = 0 ] && grep -qF "$2" reg.txt' sh "$status" "$value"

"$run" reg query 'HKCU\Software\Quillmend\NoSuchKey' >/dev/null 2>&1
check "reg's failure status comes back" test $? = 1

t=$SECONDS
"$run" regedit /e export.reg 'HKEY_CURRENT_USER\Software\Quillmend\WineCheck'
status=$?
echo "check-wine: regedit /e took $((SECONDS - t)) s"
check "regedit exports to the current folder" \
    bash -c '[ "$1" = 0 ] && [ -f export.reg ] && iconv -f UTF-16 -t UTF-8 export.reg | grep -qF "\"Greeting\"=\"$2\""' \
    sh "$status" "$value"

echo "check-wine: $passed passed, $failed failed"
[ "$failed" = 0 ]
