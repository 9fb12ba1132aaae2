#!/usr/bin/env bash
# The files jpegtran_test transformed against jpegtran's with the same switches:
# djpeg's pixels, sampling and progression, orientation tag; for "shown_" the
# tag must make -auto-orient show the picture shown before, turned alike; for
# "thumb_" the Exif thumbnail must be jpegtran's turn of the old one; for
# "short_" the Exif segment too short for its TIFF header is kept.
source "$(dirname "$0")/../image/written_files.sh"
fixtures=$out/../../fixtures/jpegtran
kind() { identify -format '%[jpeg:sampling-factor] %[interlace]' "$1" 2>/dev/null || true; }
tag() { exiftool -n -s3 -Orientation "$1" 2>/dev/null || true; }

while read -r name source op switches; do
    switches="$op $switches"
    ours=$out/jpegtran_$name.jpg ref=$fixtures/ref_$name.jpg
    [ -f "$ours" ] || { failed "$name: not written"; continue; }
    count=$((count + 1))
    djpeg -dct int -pnm "$ours" > "$tmp/ours.pnm" 2>"$tmp/err" || failed "$name: djpeg: $(cat "$tmp/err")"
    djpeg -dct int -pnm "$ref" > "$tmp/ref.pnm"
    cmp -s "$tmp/ours.pnm" "$tmp/ref.pnm" ||
        failed "$name: pixels differ ($(sed -n 2p "$tmp/ours.pnm") against $(sed -n 2p "$tmp/ref.pnm"))"
    [ "$(kind "$ours")" = "$(kind "$ref")" ] || failed "$name: '$(kind "$ours")' against '$(kind "$ref")'"
    # The Exif thumbnail turned as jpegtran turns it on its own.
    if [[ $name == thumb_* ]]; then
        # shellcheck disable=SC2086
        exiftool -b -ThumbnailImage "$fixtures/$source" | jpegtran $switches | djpeg -pnm > "$tmp/want_thumb.pnm"
        exiftool -b -ThumbnailImage "$ours" | djpeg -pnm > "$tmp/got_thumb.pnm" 2>/dev/null || true
        cmp -s "$tmp/got_thumb.pnm" "$tmp/want_thumb.pnm" || failed "$name: thumbnail not turned with the picture"
    fi
    # A segment too short for its TIFF header stays as it stood.
    if [[ $name == short_* ]] && ! perl -0777 -ne 'exit !/\xFF\xE1\x00\x0AExif\x00\x00MM/' "$ours"; then
        failed "$name: the short Exif segment was not kept"
    fi
    if [[ $name != shown_* ]]; then
        [ "$(tag "$ours")" = "$(tag "$ref")" ] || failed "$name: orientation '$(tag "$ours")' against '$(tag "$ref")'"
        continue
    fi
    case $op in -flip) op=-flop ;; -rotate) op="-rotate 180" ;; esac
    # shellcheck disable=SC2086
    convert "$fixtures/$source" -auto-orient $op "$tmp/want.ppm"
    convert "$ours" -auto-orient "$tmp/got.ppm"
    pae=$(compare -metric PAE "$tmp/got.ppm" "$tmp/want.ppm" null: 2>&1 >/dev/null |
          sed -n 's/^[0-9.e+-]* (\([0-9.e+-]*\))$/\1/p' || true)
    if [ -z "$pae" ] || awk -v e="$pae" 'BEGIN { exit !(e > 0.1) }'; then
        failed "$name: shown picture differs (peak ${pae:-size})"
    fi
done < "$fixtures/cases.txt"
finish
