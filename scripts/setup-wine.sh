#!/usr/bin/env bash
# Builds the Wine root that cmake/wine-run.sh runs Windows programs in.
#
# Our machines are virtual machines whose processors cannot enter 32-bit
# mode at all: 32-bit Linux programs fail with "Exec format error", and a far
# jump to a 32-bit code segment (GDT or LDT) faults. That rules out both the
# i386 Wine of Debian 12 and the "WoW64" Wine of newer Debian releases, since
# both run 32-bit Windows code directly on the processor. What works is the
# i386 Wine run under qemu-i386, which translates 32-bit x86 code into 64-bit
# code: the kernel is told through binfmt_misc to start every 32-bit program
# with qemu-i386. The Wine server (a plain 64-bit program of the same Wine
# version) runs natively, which keeps Wine's start-up time down.
#
# Wine and qemu come from Debian 13 (trixie) in a separate minimal root made
# with debootstrap, so the host's own packages stay as they are. (qemu-i386
# from Debian 12 cannot run Wine: Wine fails to map its shared user data.)
#
# Usage (as root):  scripts/setup-wine.sh
#   QM_WINE_ROOT      where the root goes (default /opt/quillmend-wine)
#   QM_DEBIAN_MIRROR  Debian mirror (default http://deb.debian.org/debian)
#
# Running it again is cheap: a finished root is recognised by its stamp file
# and left alone, and only the binfmt_misc entry is checked (it is lost when
# the machine restarts). An unfinished root (an interrupted run) is
# completed, or removed and made again when debootstrap itself did not finish.
set -euo pipefail

ROOT=${QM_WINE_ROOT:-/opt/quillmend-wine}
MIRROR=${QM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=trixie

# Bump when the package set or the root's configuration changes, so existing
# roots are brought up to date on the next run.
SETUP_REVISION=4

# wine32 is the 32-bit Wine. wine32-preloader is only "suggested" by it
# but is needed for Windows programs that must sit at a fixed address (no
# relocations, image base 0x400000, as in NSIS installers): the 32-bit Wine
# loader is a position-independent Linux program, which qemu-i386 (like the
# Linux kernel for 32-bit programs) places at 0x400000, and without the
# preloader, which keeps the low address space free before the loader is
# mapped, Wine cannot map such a program ("failed to create main module",
# c0000018). Wine starts every program through the preloader when it finds
# it beside the loader. The X libraries are only "recommended" by
# libwine but are loaded at run time by Wine's X11 driver for GUI programs
# (rendering, cursors, input, screens). fonts-wine gives Wine's replacements
# for the standard Windows fonts, and fonts-liberation the faces that Wine
# draws in place of Arial and Times New Roman with the same widths, so that
# texts fit the labels sized for them.
PACKAGES=(
    wine wine32:i386 wine32-preloader:i386 fonts-wine fonts-liberation
    libxrender1:i386 libxcursor1:i386 libxi6:i386 libxrandr2:i386
    libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
)

# The 64-bit Wine beside it, at the very same version, so that the root
# also makes and runs 64-bit prefixes ("win64", the Windows most machines
# run: there 32-bit programs run as under WOW64, with redirected System32
# and registry views). 64-bit Windows code runs natively; Wine hands the
# 32-bit programs of such a prefix to the 32-bit Wine (under qemu-i386) by
# itself. About 930 MB installed.
PACKAGES64=(wine64 libwine:amd64 wine64-preloader)

# Two programs are taken out of packages without installing them: qemu-i386
# from qemu-user (which holds the emulators of every architecture, ~470 MB
# installed), and the native 64-bit Wine server from wine64, kept at a place
# of its own (it was there before the 64-bit Wine came into the root, and
# cmake/wine-run.sh starts it from there). The server needs only libc, and
# must be of the same version as wine32.
QEMU=/usr/local/lib/quillmend/qemu-i386
WINESERVER=/usr/local/lib/quillmend/wineserver64
BINFMT_NAME=quillmend-i386
BINFMT_DIR=/proc/sys/fs/binfmt_misc

STAMP=$ROOT/.quillmend-wine-ready
BASE_STAMP=$ROOT/.quillmend-base-ready
STAMP_TEXT="revision=$SETUP_REVISION suite=$SUITE packages=${PACKAGES[*]} ${PACKAGES64[*]}"

say() { printf 'setup-wine: %s\n' "$*" >&2; }
die() { printf 'setup-wine: error: %s\n' "$*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "must run as root (it runs debootstrap and chroot, and registers qemu-i386 with binfmt_misc)"
[ "$(uname -m)" = x86_64 ] || die "needs an x86_64 host, this is $(uname -m)"
case $ROOT in
    /*) ;;
    *) die "QM_WINE_ROOT must be an absolute path, got '$ROOT'" ;;
esac
ROOT=${ROOT%/}
[ -n "$ROOT" ] && [ "$ROOT" != / ] || die "refusing to use / as the Wine root"

root_complete() {
    [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$STAMP_TEXT" ] &&
        [ -x "$ROOT$QEMU" ] && [ -x "$ROOT$WINESERVER" ] && [ -x "$ROOT/usr/lib/wine/wine" ] &&
        [ -x "$ROOT/usr/lib/wine/wine-preloader" ] && [ -x "$ROOT/usr/lib/wine/wine64" ] &&
        [ -x "$ROOT/usr/lib/wine/wine64-preloader" ]
}

# Tells the kernel to start 32-bit x86 ELF programs with the root's
# qemu-i386. The F flag makes the kernel open the emulator now, so it is
# found from inside the root (and any other mount namespace) as well.
register_binfmt() {
    if [ ! -e "$BINFMT_DIR/register" ]; then
        mount -t binfmt_misc binfmt_misc "$BINFMT_DIR" ||
            die "cannot mount binfmt_misc on $BINFMT_DIR"
    fi
    local entry=$BINFMT_DIR/$BINFMT_NAME
    if [ -e "$entry" ]; then
        if [ "${1:-}" != force ] && grep -qx "interpreter $ROOT$QEMU" "$entry" &&
           grep -qx enabled "$entry"; then
            return 0
        fi
        echo -1 >"$entry"
    fi
    # Matches the ELF header of 32-bit little-endian x86 executables and
    # shared objects (the mask ignores the OS/ABI byte and ET_EXEC/ET_DYN).
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    if ! printf ':%s:M::%s:%s:%s:F\n' "$BINFMT_NAME" "$magic" "$mask" "$ROOT$QEMU" \
            >"$BINFMT_DIR/register" 2>/dev/null; then
        # Several wine-run.sh at once after a restart: another one was first.
        grep -qx "interpreter $ROOT$QEMU" "$entry" 2>/dev/null && return 0
        die "cannot register $ROOT$QEMU with binfmt_misc"
    fi
    say "registered $ROOT$QEMU for 32-bit x86 programs (binfmt_misc entry $BINFMT_NAME)"
}

if root_complete; then
    register_binfmt
    say "Wine root $ROOT is complete ($(cat "$ROOT/.quillmend-wine-version" 2>/dev/null || echo 'version unknown'))"
    exit 0
fi

# Host tools: debootstrap and the archive keys to check signatures with,
# unshare and flock from util-linux.
missing=()
command -v debootstrap >/dev/null || missing+=(debootstrap)
[ -f /usr/share/keyrings/debian-archive-keyring.gpg ] || missing+=(debian-archive-keyring)
command -v unshare >/dev/null && command -v flock >/dev/null || missing+=(util-linux)
if [ ${#missing[@]} -gt 0 ]; then
    say "installing host packages: ${missing[*]}"
    apt-get update -qq || die "apt-get update failed on the host"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
        die "could not install ${missing[*]} on the host"
fi

mkdir -p "$(dirname "$ROOT")"
# Two setups at once (say CI and a developer's shell) would trip over each
# other; the second waits for the first and then finds the root complete.
exec 8>"$ROOT.setup-lock"
if ! flock -n 8; then
    say "another setup-wine.sh is working on $ROOT; waiting for it"
    flock 8
fi
if root_complete; then
    register_binfmt
    say "Wine root $ROOT was completed by the other run"
    exit 0
fi

# Deleting a root with something still mounted inside would delete the host
# files behind the mount; make sure there is none first.
assert_nothing_mounted() {
    if awk -v r="$ROOT/" 'index($5 "/", r) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
        die "something is mounted below $ROOT; unmount it first (see: grep '$ROOT' /proc/self/mountinfo)"
    fi
}

started=$SECONDS

if [ ! -f "$BASE_STAMP" ]; then
    if [ -e "$ROOT" ]; then
        assert_nothing_mounted
        say "removing the unfinished root $ROOT"
        rm -rf --one-file-system "$ROOT"
    fi
    say "step 1/5: debootstrap a minimal Debian $SUITE root into $ROOT (downloads ~40 MB)"
    # A private mount namespace: the /proc and /sys that debootstrap mounts
    # inside the root disappear with it, even when it fails half way.
    log=$ROOT.debootstrap.log
    if ! unshare -m --propagation private \
        debootstrap --variant=minbase --arch=amd64 \
        --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
        "$SUITE" "$ROOT" "$MIRROR" >"$log" 2>&1; then
        tail -n 25 "$log" >&2
        [ -f "$ROOT/debootstrap/debootstrap.log" ] && tail -n 25 "$ROOT/debootstrap/debootstrap.log" >&2
        die "debootstrap failed (full log: $log)"
    fi
    rm -f "$log"
    touch "$BASE_STAMP"
    say "  ... $((SECONDS - started)) s"
else
    say "step 1/5: reusing the base system already in $ROOT"
fi

say "step 2/5: configure the root"
# Documentation, manual pages and translations are of no use here; leaving
# them out saves a good part of the installed size.
cat >"$ROOT/etc/dpkg/dpkg.cfg.d/01-quillmend-nodoc" <<'EOF'
path-exclude=/usr/share/doc/*
path-include=/usr/share/doc/*/copyright
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
path-exclude=/usr/share/lintian/*
EOF
# The mirror we reach may lag behind the archive, so a Release file can be
# past its Valid-Until date; signatures are still checked.
cat >"$ROOT/etc/apt/apt.conf.d/01-quillmend" <<'EOF'
Acquire::Check-Valid-Until "false";
APT::Install-Recommends "false";
APT::Install-Suggests "false";
Acquire::Languages "none";
EOF
echo "deb $MIRROR $SUITE main" >"$ROOT/etc/apt/sources.list"
# Nothing in the root is a service; never start one while installing.
printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
chmod 755 "$ROOT/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

# Runs a command inside the root with /dev, /proc and /sys, in a private
# mount namespace so that no mount outlives it.
in_root() {
    unshare -m --propagation private /bin/sh -c '
        root=$1; shift
        mount --rbind /dev "$root/dev" &&
        mount -t proc proc "$root/proc" &&
        mount --rbind /sys "$root/sys" &&
        exec chroot "$root" /usr/bin/env -i \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
    ' sh "$ROOT" "$@"
}

# Takes program $2 out of package $1 (apt-get download, no installation) and
# puts it at $3 in the root.
extract_from_package() {
    in_root sh -c 'set -e
        rm -rf /var/tmp/qm-extract; mkdir -p /var/tmp/qm-extract; cd /var/tmp/qm-extract
        apt-get download "$1"
        dpkg-deb --fsys-tarfile ./*.deb | tar -x ".$2"
        install -D -m 755 ".$2" "$3"
        cd /; rm -rf /var/tmp/qm-extract' sh "$@"
}

log=$ROOT.install.log
: >"$log"
step() {
    local t=$SECONDS
    say "$1"
    shift
    if ! "$@" >>"$log" 2>&1; then
        tail -n 30 "$log" >&2
        die "failed: $* (full log: $log)"
    fi
    say "  ... $((SECONDS - t)) s"
}

step "step 3/5: qemu-i386 (downloads ~70 MB, keeps 14 MB)" \
    eval 'in_root dpkg --add-architecture i386 && in_root apt-get update &&
          extract_from_package qemu-user /usr/bin/qemu-i386 "$QEMU"'
# Maintainer scripts of i386 packages may run 32-bit programs.
register_binfmt force

step "step 4/5: install ${PACKAGES[*]} (downloads ~250 MB)" \
    in_root apt-get install -y "${PACKAGES[@]}"

wine_version=$(in_root dpkg-query -W -f '${Version}' wine32:i386)
step "step 5/5: the 64-bit Wine $wine_version and its server (downloads ~60 MB)" \
    eval 'extract_from_package "wine64=$wine_version" /usr/lib/wine/wineserver64 "$WINESERVER" &&
          in_root apt-get install -y $(printf "%s=$wine_version " "${PACKAGES64[@]}") &&
          in_root apt-get clean'
rm -f "$log"
rm -rf "$ROOT"/var/lib/apt/lists/*_Packages* "$ROOT"/var/cache/apt/*.bin

[ -x "$ROOT/usr/lib/wine/wine" ] || die "$ROOT/usr/lib/wine/wine (the 32-bit Wine) is missing after the installation"
[ -x "$ROOT/usr/lib/wine/wine-preloader" ] || die "$ROOT/usr/lib/wine/wine-preloader is missing after the installation"
[ -x "$ROOT/usr/lib/wine/wine64" ] || die "$ROOT/usr/lib/wine/wine64 (the 64-bit Wine) is missing after the installation"
if ! version=$(in_root /usr/lib/wine/wine --version 2>&1); then
    die "the 32-bit Wine does not start under qemu-i386: $version"
fi
echo "$version" >"$ROOT/.quillmend-wine-version"
echo "$STAMP_TEXT" >"$STAMP"
say "done in $((SECONDS - started)) s: $version in $ROOT ($(du -sh --one-file-system "$ROOT" | cut -f1))"
