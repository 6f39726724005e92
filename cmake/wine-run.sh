#!/usr/bin/env bash
# Runs a Windows program under the Wine of the root that scripts/setup-wine.sh
# builds, and exits with the program's exit status:
#
#   cmake/wine-run.sh PROGRAM.exe [ARGS...]     a program on the host
#   cmake/wine-run.sh regedit /e out.reg        a program Wine looks up itself
#   cmake/wine-run.sh --wineserver -k|-w        the prefix's Wine server: stop
#                                               it / wait until it has stopped
#
# CMake uses it as CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs every test
# program through it, several at once with -j.
#
# The Wine prefix is private to the build folder: "wineprefix" in the nearest
# ancestor of the current folder that holds CMakeCache.txt (QM_WINEPREFIX
# overrides it). It is made on first use, under a lock.
#
# The program runs in a chroot into the Wine root, inside a private mount
# namespace (so no mount is left behind), where these host folders are
# visible at their own paths: the project folder (the source tree and, in it,
# the build tree), the build folder and the prefix's folder when they lie
# elsewhere, the current folder, the program's folder, and /tmp (which holds
# the X server's socket, used when DISPLAY is set). /dev, /proc and /sys are
# the host's.
#
# Environment:
#   QM_WINE_ROOT       the Wine root (default /opt/quillmend-wine)
#   QM_WINEPREFIX      the Wine prefix to use instead of the build folder's
#   QM_WINEARCH        win32 (the default) or win64: the kind of prefix. A
#                      win64 prefix is 64-bit Windows, where 32-bit programs
#                      run as under WOW64 (redirected System32 and registry
#                      views); 64-bit Wine starts them through the 32-bit
#                      Wine by itself. A prefix keeps the kind it was made as.
#   QM_WINE_PERSIST    seconds the Wine server (and Wine's own background
#                      processes) stay up after the last program ends, so the
#                      next program starts quickly (default 60; 0 = stop at once)
#   WINEDEBUG          passed on; "-all" (no Wine diagnostics) when unset
#   WINEDLLOVERRIDES   added after the project's own overrides
set -euo pipefail

die() { printf 'wine-run: %s\n' "$*" >&2; exit 125; }

[ $# -ge 1 ] || die "usage: wine-run.sh PROGRAM [ARGS...]"

ROOT=${QM_WINE_ROOT:-/opt/quillmend-wine}
ROOT=${ROOT%/}
self=$(readlink -f -- "${BASH_SOURCE[0]}")
# The script lives in <project>/cmake, so its parent is the project folder
# (the git top level).
TOP=$(dirname -- "$(dirname -- "$self")")

# Paths inside the root.
ARCH=${QM_WINEARCH:-win32}
case $ARCH in
    win32) WINE=/usr/lib/wine/wine ;;      # the 32-bit Wine, run by qemu-i386
    win64) WINE=/usr/lib/wine/wine64 ;;    # the 64-bit Wine, native
    *) die "QM_WINEARCH must be win32 or win64, not '$ARCH'" ;;
esac
WINESERVER=/usr/local/lib/quillmend/wineserver64   # the Wine server, native
BINFMT_ENTRY=/proc/sys/fs/binfmt_misc/quillmend-i386

[ "$(id -u)" = 0 ] || die "must run as root (it uses a mount namespace and chroot)"
# The preloader came into the root later than the rest: an older root lacks
# it and cannot run programs that need a fixed address.
if [ ! -f "$ROOT/.quillmend-wine-ready" ] || [ ! -x "$ROOT$WINE" ] || [ ! -x "$ROOT$WINESERVER" ] ||
   [ ! -x "$ROOT$WINE-preloader" ] || [ ! -x "$ROOT/usr/lib/wine/wine-preloader" ]; then
    die "no complete Wine root at $ROOT; make it with: sudo $TOP/scripts/setup-wine.sh"
fi
# The binfmt_misc entry that runs 32-bit programs with qemu-i386 is lost
# when the machine restarts; setup-wine.sh puts it back (quickly, as the root
# is complete).
if [ ! -e "$BINFMT_ENTRY" ]; then
    "$TOP/scripts/setup-wine.sh" >/dev/null 2>&1 ||
        die "cannot register qemu-i386 with binfmt_misc; run $TOP/scripts/setup-wine.sh to see why"
fi

find_build_dir() {
    local dir
    dir=$(pwd -P)
    while :; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            printf '%s\n' "$dir"
            return 0
        fi
        [ "$dir" = / ] && return 1
        dir=$(dirname -- "$dir")
    done
}

cwd=$(pwd -P)
build_dir=$(find_build_dir) || build_dir=
if [ -n "${QM_WINEPREFIX:-}" ]; then
    prefix=$(realpath -m -- "$QM_WINEPREFIX")
elif [ -n "$build_dir" ]; then
    prefix=$build_dir/wineprefix
else
    # Outside any build folder (a script run by hand): one prefix per user.
    prefix=/tmp/quillmend-wineprefix-$(id -u)
fi
prefix_parent=$(dirname -- "$prefix")
mkdir -p -- "$prefix_parent"

# Host folders to show inside the root at the same path.
mounts=(/tmp "$TOP" "$prefix_parent" "$cwd")
[ -n "$build_dir" ] && mounts+=("$build_dir")
case $1 in
    */*) [ -e "$1" ] && mounts+=("$(dirname -- "$(readlink -f -- "$1")")") ;;
esac

# Keeps only real folders, outermost first, none inside another.
plan_mounts() {
    local p q keep
    local -a real=()
    for p in "$@"; do
        p=$(realpath -e -- "$p" 2>/dev/null) || continue
        [ -d "$p" ] && real+=("$p")
    done
    printf '%s\n' "${real[@]}" | awk '{ print length($0) "\t" $0 }' | sort -n -k1,1 -s | cut -f2- |
    {
        local -a chosen=()
        while IFS= read -r p; do
            keep=1
            for q in "${chosen[@]}"; do
                case $p/ in "$q"/*) keep=0; break ;; esac
            done
            [ $keep = 1 ] && chosen+=("$p") && printf '%s\n' "$p"
        done
    }
}
mapfile -t planned < <(plan_mounts "${mounts[@]}")
# A host folder may only go where the root has nothing (or an empty folder
# that an earlier run made), so that none of the root's own files is hidden.
for p in "${planned[@]}"; do
    if [ -e "$ROOT$p" ] && { [ ! -d "$ROOT$p" ] || [ -n "$(ls -A -- "$ROOT$p")" ]; } &&
       [ "$p" != /tmp ]; then
        die "cannot show the host folder $p inside the Wine root: $ROOT$p is in use"
    fi
done

# Everything after this runs in a private mount namespace (unshare execs
# this script again with QM_WINE_RUN_STAGE=inside); the process stays the
# same, so signals and the exit status reach the caller unchanged.
if [ "${QM_WINE_RUN_STAGE:-}" != inside ]; then
    # On a desktop's display the X server asks for the user's cookie, whose
    # file (in a home folder) the root does not show: hand Wine a copy in
    # /tmp. Under sudo the invoking user's file is the one that counts.
    if [ -n "${DISPLAY:-}" ]; then
        cookie=${XAUTHORITY:-}
        if [ -z "$cookie" ] || [ ! -f "$cookie" ]; then
            cookie=${HOME:-/root}/.Xauthority
            if [ ! -f "$cookie" ] && [ -n "${SUDO_USER:-}" ]; then
                cookie=$(getent passwd "$SUDO_USER" | cut -d: -f6)/.Xauthority
            fi
        fi
        case $cookie in
            /tmp/*) ;;
            *)
                if [ -f "$cookie" ]; then
                    copy=/tmp/quillmend-xauth-$(id -u)
                    install -m 600 -- "$cookie" "$copy" && export XAUTHORITY=$copy
                fi
                ;;
        esac
    fi
    QM_WINE_RUN_STAGE=inside exec unshare -m --propagation private -- "$self" "$@"
fi
unset QM_WINE_RUN_STAGE

mount --rbind /dev "$ROOT/dev"
mount -t proc proc "$ROOT/proc"
mount --rbind /sys "$ROOT/sys"
for p in "${planned[@]}"; do
    mkdir -p -- "$ROOT$p"
    mount --rbind -- "$p" "$ROOT$p"
done
exec=
overrides="mscoree,mshtml=;winemenubuilder.exe=d"
[ -n "${WINEDLLOVERRIDES:-}" ] && overrides="$overrides;$WINEDLLOVERRIDES"
persist=${QM_WINE_PERSIST:-60}

# Runs a command in the root, in folder $1, with Wine's environment. The
# caller's environment is kept (CTest passes test settings that way), PATH
# is the root's. The lock's descriptor (9) is not passed on: Wine's
# background processes would keep the lock held for as long as they live.
in_root() {
    local dir=$1
    shift
    $exec chroot "$ROOT" /usr/bin/env \
        PATH=/usr/local/bin:/usr/bin:/bin \
        WINEPREFIX="$prefix" WINEARCH="$ARCH" \
        WINELOADER="$WINE" WINESERVER="$WINESERVER" \
        WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="$overrides" \
        /bin/sh -c 'cd -- "$1" || exit 125; shift; exec "$@"' sh "$dir" "$@" 9>&-
}

# Starts this prefix's Wine server with the given persistence (seconds it
# stays up after the last program ends); its output goes nowhere. Returns 0
# when it started one, non-zero when one was running already.
start_server() {
    in_root / "$WINESERVER" -p"$1" </dev/null >/dev/null 2>&1
}

# The prefix's Wine server itself (-k stops it and every program in the
# prefix, -w waits until it has stopped, which is when it has written the
# registry files).
if [ "$1" = --wineserver ]; then
    shift
    exec=exec in_root "$cwd" "$WINESERVER" "$@"
fi

# Wine keeps its background processes (services.exe, winedevice.exe and the
# like) running as long as the server. They are started by the first program
# after the server starts and inherit its stdout and stderr (Wine keeps
# stderr for diagnostics), so they would hold the caller's pipes open (CTest
# would wait for them) and write there. So a new server is booted by a
# trivial program with no output first, under the lock so that no test
# program gets there first. The server then stays up for $persist seconds
# after the last program, so following programs start quickly.
exec 9>"$prefix.lock"
flock 9
ready=$prefix/.quillmend-ready
# A prefix is made on first use, and again when it lost its registry.
if [ ! -f "$ready" ] || [ ! -s "$prefix/system.reg" ]; then
    log=$prefix.init.log
    # What is left of an earlier attempt goes, once no server of it runs
    # (a server would write its registry into the new prefix as it stops).
    if [ -d "$prefix" ]; then
        { in_root / "$WINESERVER" -k; in_root / "$WINESERVER" -w; } </dev/null >/dev/null 2>&1 || true
    fi
    rm -rf -- "$prefix"
    # This server stops as soon as the set-up is done, so that waiting
    # for it (-w) means the registry is saved.
    start_server 0 || true
    # X11 only as the graphics driver: without DISPLAY, programs that open
    # windows get Wine's no-display driver (and Wine tries no other).
    if ! { in_root / "$WINE" wineboot --init &&
           in_root / "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f &&
           in_root / "$WINESERVER" -w; } </dev/null >"$log" 2>&1 ||
       [ ! -f "$prefix/system.reg" ]; then
        cat -- "$log" >&2
        die "could not make the Wine prefix $prefix (log: $log)"
    fi
    touch -- "$ready"
fi
if start_server "$persist"; then
    in_root / "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
exec 9>&-

exec=exec in_root "$cwd" "$WINE" "$@"
