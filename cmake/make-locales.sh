#!/usr/bin/env bash
# Makes the locale data that Wine takes its code page from, for the tests
# that run Windows programs in other code pages than Windows-1252:
#
#   cmake/make-locales.sh DIR LOCALE...     e.g. DIR ja_JP ru_RU
#
# The Wine root holds no locale data, but a program started with
# LOCPATH=DIR and LANG/LC_ALL=<locale>.UTF-8 finds it there (DIR lies in the
# build folder, which cmake/wine-run.sh shows inside the root), and Wine
# then gives the program that locale's ANSI code page (ja_JP: 932, ru_RU:
# 1251). The data is made with the host's localedef from the host's locale
# sources (the Debian package "locales", which scripts/setup.sh installs);
# the C library of the root reads it. A locale made before is kept.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: make-locales.sh DIR LOCALE..." >&2; exit 2; }
dir=$1
shift
command -v localedef >/dev/null ||
    { echo "make-locales: localedef is missing (Debian package libc-bin)" >&2; exit 1; }
mkdir -p -- "$dir"
for locale in "$@"; do
    out=$dir/$locale.UTF-8
    [ -f "$out/LC_CTYPE" ] && continue
    [ -f "/usr/share/i18n/locales/$locale" ] ||
        { echo "make-locales: no source for $locale; install the Debian package locales" >&2; exit 1; }
    # Made beside and moved into place, so that a test never sees half a locale.
    work=$(mktemp -d -- "$dir/.$locale.XXXXXX")
    if ! localedef -i "$locale" -f UTF-8 "$work/$locale.UTF-8"; then
        rm -rf -- "$work"
        echo "make-locales: localedef could not make $locale.UTF-8" >&2
        exit 1
    fi
    mv -T -- "$work/$locale.UTF-8" "$out" 2>/dev/null || [ -f "$out/LC_CTYPE" ]
    rm -rf -- "$work"
done
