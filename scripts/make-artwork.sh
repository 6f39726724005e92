#!/usr/bin/env bash
# Draws Quillmend's pictures and icon into res/bitmaps/ with ImageMagick
# (Debian packages imagemagick and fonts-dejavu-core). The results are
# checked in; run this again after changing a picture here.
#
#   scripts/make-artwork.sh [OUTPUT_DIR]
#
# Sizes are fixed by the dialogs that show them: the main window's
# background 620 x 465, the side buttons 94 x 61 (an icon above its
# caption), the support button 39 x 19, the splash window 365 x 240 and the
# About picture 76 x 72. Bitmaps are written as plain 24-bit BMP version 3,
# which every Windows version loads.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/res/bitmaps}
fonts=/usr/share/fonts/truetype/dejavu
sans=$fonts/DejaVuSans.ttf
bold=$fonts/DejaVuSans-Bold.ttf

# The real ImageMagick, not a wrapper that may stand in front of it.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert) ||
    { echo "make-artwork: ImageMagick's convert is missing (apt-get install imagemagick)" >&2; exit 1; }
for f in "$sans" "$bold"; do
    [ -f "$f" ] || { echo "make-artwork: $f is missing (apt-get install fonts-dejavu-core)" >&2; exit 1; }
done
# The splash shows the project version (CMakeLists.txt).
version=$(sed -n 's/^project(Quillmend VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
[ -n "$version" ] || { echo "make-artwork: no project version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The program's colours.
page='rgb(223,238,248)'      # page background
title='rgb(89,136,204)'      # page titles
caption='rgb(7,78,140)'      # button captions
band_top='rgb(24,72,140)'
panel='rgb(241,247,252)'     # the lighter panel behind the side buttons
panel_edge='rgb(178,204,232)'
hover_fill='rgb(204,225,247)'

# Runs convert and writes its result (the last argument) as a 24-bit BMP
# without colour-space or alpha fields.
bmp() {
    local target=${*: -1}
    "$convert" "${@:1:$#-1}" -alpha off -type TrueColor -compress None "$target"
}

# --- Side-button icons, 30 x 30, drawn on transparent ground ---------------
icon() { "$convert" -size 30x30 xc:none -stroke "$caption" -fill none -strokewidth 3 "$@"; }
# Repair Now: a magnifying glass over a tick.
icon -draw "circle 12,12 12,3" -draw "line 18,18 27,27" \
    -strokewidth 2 -stroke 'rgb(33,161,33)' -draw "polyline 7,12 11,16 17,8" "$work/repair.png"
# Start Up: the power sign.
icon -draw "arc 4,5 26,27 -50,230" -draw "line 15,2 15,15" "$work/startup.png"
# Settings: three sliders.
icon -strokewidth 2 -draw "line 3,7 27,7" -draw "line 3,15 27,15" -draw "line 3,23 27,23" \
    -fill "$caption" -draw "rectangle 18,4 22,10" -draw "rectangle 7,12 11,18" \
    -draw "rectangle 14,20 18,26" "$work/settings.png"
# Back Up: a stack of disks.
icon -strokewidth 2 -draw "ellipse 15,7 11,4 0,360" -draw "line 4,7 4,23" -draw "line 26,7 26,23" \
    -draw "arc 4,11 26,19 0,180" -draw "arc 4,19 26,27 0,180" "$work/backup.png"
# About: an "i" in a circle.
icon -strokewidth 2 -draw "circle 15,15 15,2" -fill "$caption" -stroke none \
    -draw "circle 15,9 15,7" -draw "rectangle 13,13 17,24" "$work/about.png"

# A side button: panel ground, the icon centred at the top, the caption
# below; the hover picture adds a framed highlight.
side_button() {
    local name=$1 text=$2 icon=$3 hover=$4
    local args=(-size 94x61 "xc:$panel")
    if [ "$hover" = 1 ]; then
        args+=(-fill "$hover_fill" -stroke "$title" -strokewidth 1 -draw "roundrectangle 2,1 91,59 7,7")
    fi
    bmp "${args[@]}" \
        "$work/$icon.png" -gravity north -geometry +0+4 -composite \
        -gravity south -font "$bold" -pointsize 11 -fill "$caption" -stroke none \
        -annotate +0+6 "$text" "BMP3:$out/$name.bmp"
}
side_button 377-repair "Repair Now" repair 0
side_button 376-repair-hover "Repair Now" repair 1
side_button 378-startup "Start Up" startup 0
side_button 379-startup-hover "Start Up" startup 1
side_button 380-settings "Settings" settings 0
side_button 381-settings-hover "Settings" settings 1
side_button 382-backup "Back Up" backup 0
side_button 372-backup-hover "Back Up" backup 1
side_button 373-about "About" about 0
side_button 374-about-hover "About" about 1
bmp -size 94x61 "xc:$panel" "BMP3:$out/383-side-blank.bmp"

# --- The support button, 39 x 19 -------------------------------------------
help_button() {
    local name=$1 fill=$2
    bmp -size 39x19 "xc:$band_top" -fill "$fill" -stroke white -strokewidth 1 \
        -draw "roundrectangle 0,0 38,18 8,8" -font "$bold" -pointsize 9 -fill white -stroke none \
        -gravity center -annotate +0+0 "HELP" "BMP3:$out/$name.bmp"
}
help_button 375-help 'rgb(46,110,190)'
help_button 384-help-hover 'rgb(90,156,230)'

# --- Main window background, 620 x 465 -------------------------------------
# A title band across the top, a lighter panel behind the side buttons at
# the left, and the plain page colour where the pages sit.
bmp -size 620x465 "xc:$page" \
    \( -size 620x66 "gradient:$band_top-$title" \) -geometry +0+0 -composite \
    -fill white -stroke none -font "$bold" -pointsize 26 -annotate +20+42 "Quillmend" \
    -font "$sans" -pointsize 11 -fill 'rgb(223,238,248)' -annotate +22+58 "Registry repair and backup" \
    -fill "$panel" -stroke "$panel_edge" -strokewidth 1 -draw "rectangle 4,72 111,455" \
    "BMP3:$out/371-background.bmp"

# --- Splash window, 365 x 240 ----------------------------------------------
# The "Initializing..." line is drawn over the plain strip at the bottom left.
bmp -size 365x240 "gradient:$band_top-$title" \
    -fill white -stroke none -font "$bold" -pointsize 34 -annotate +24+78 "Quillmend" \
    -font "$sans" -pointsize 13 -annotate +27+102 "Registry repair and backup" \
    -fill "$page" -draw "rectangle 0,138 364,239" \
    -fill "$caption" -font "$sans" -pointsize 10 -annotate +200+228 "Version $version" \
    "BMP3:$out/246-splash.bmp"

# --- About picture, 76 x 72 -------------------------------------------------
bmp -size 76x72 "xc:$page" \
    \( -size 64x64 "gradient:$title-$band_top" \) -geometry +6+4 -composite \
    -fill none -stroke white -strokewidth 2 -draw "roundrectangle 7,5 68,66 8,8" \
    -fill white -stroke none -font "$bold" -pointsize 40 -gravity center -annotate +0+0 "Q" \
    "BMP3:$out/387-about.bmp"

# --- Application icon: 32 x 32 and 16 x 16 ----------------------------------
for size in 32 16; do
    r=$((size / 5))
    "$convert" -size ${size}x${size} xc:none -fill "$band_top" \
        -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $r,$r" \
        -fill white -font "$bold" -pointsize $((size * 3 / 4)) -gravity center \
        -annotate +0+0 "Q" "$work/icon$size.png"
done
"$convert" "$work/icon32.png" "$work/icon16.png" "$out/140-app.ico"

echo "make-artwork: pictures written to $out"
