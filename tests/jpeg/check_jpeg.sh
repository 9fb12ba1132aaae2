#!/usr/bin/env bash
# Checks the JPEG files jpeg_tests wrote with independent tools:
# libjpeg-turbo's djpeg decodes each lossy file to the pixels the viewer's
# reader saw (the .ppm written beside it) within one level, ImageMagick
# identifies it, and exiftool reads the Exif block: colour space, image
# size, resolution, software and a thumbnail that djpeg decodes. Debian's
# libjpeg-turbo reads neither lossless nor 12-bit JPEG, so those pixels are
# checked by the tests themselves (bit-exact) and only the Exif block here.
set -euo pipefail
dir=${1:?test output folder}
failed=0 checked=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tag() {  # file tag: numeric value from exiftool
    exiftool -n -s3 -"$2" "$1" 2>/dev/null || true
}

# name colour-space width height lossy-main lossy-thumbnail
while read -r name space width height lossy lossy_thumb; do
    jpg=$dir/$name.jpg
    [ -f "$jpg" ] || { fail "$name: not written"; continue; }
    checked=$((checked + 1))
    if [ "$lossy" = yes ]; then
        if ! djpeg -pnm "$jpg" > "$work/$name.pnm" 2>"$work/err"; then
            fail "$name: djpeg: $(cat "$work/err")"
        else
            pae=$(compare -metric PAE "$work/$name.pnm" "$dir/$name.ppm" null: 2>&1 >/dev/null |
                  sed -n 's/^[0-9.e+-]* (\([0-9.e+-]*\))$/\1/p' || true)
            if [ -z "$pae" ] || awk -v e="$pae" 'BEGIN { exit !(e > 1 / 255 + 1e-6) }'; then
                fail "$name: djpeg differs from the viewer's decoding (peak ${pae:-unreadable})"
            fi
        fi
        size=$(identify -format '%wx%h' "$jpg" 2>/dev/null || true)
        [ "$size" = "${width}x${height}" ] || fail "$name: ImageMagick sees '$size'"
    fi
    [ "$(tag "$jpg" ColorSpace)" = "$space" ] || fail "$name: ColorSpace $(tag "$jpg" ColorSpace), want $space"
    [ "$(tag "$jpg" ExifImageWidth)" = "$width" ] || fail "$name: ExifImageWidth $(tag "$jpg" ExifImageWidth)"
    [ "$(tag "$jpg" ExifImageHeight)" = "$height" ] || fail "$name: ExifImageHeight $(tag "$jpg" ExifImageHeight)"
    [ "$(tag "$jpg" Orientation)" = 1 ] || fail "$name: Orientation"
    [ "$(tag "$jpg" XResolution)" = 200 ] || fail "$name: XResolution"
    [ "$(tag "$jpg" Software)" = "Corvane File Viewer" ] || fail "$name: Software"
    [[ "$(tag "$jpg" ModifyDate)" =~ ^[0-9]{4}:[0-9]{2}:[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] || fail "$name: DateTime"
    exiftool -b -ThumbnailImage "$jpg" > "$work/thumb.jpg" 2>/dev/null || true
    if [ ! -s "$work/thumb.jpg" ]; then
        fail "$name: no thumbnail"
    elif [ "$lossy_thumb" = yes ]; then
        # Pictures within 160 x 160 keep their size in the thumbnail.
        thumb=$(djpeg -pnm "$work/thumb.jpg" 2>/dev/null | sed -n 2p || true)
        [ "$thumb" = "$width $height" ] || fail "$name: thumbnail size '$thumb'"
    fi
done <<'LIST'
w_baseline 6 67 45 yes yes
w_progressive 6 67 45 yes yes
w_progressive_lossless 6 67 45 yes no
w_lossless 2 67 45 no no
w_grey8 0 21 13 no no
w_bw1 0 21 13 no no
w_almost_grey8 2 21 13 no no
LIST

echo "$((checked - failed)) of $checked files passed"
[ $failed -eq 0 ] && [ $checked -gt 0 ]
