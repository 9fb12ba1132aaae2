#!/usr/bin/env bash
# Checks the files jpegtran_test transformed against libjpeg-turbo's
# jpegtran run with the same switches: djpeg decodes both to the same
# pixels (so to the same size), both are progressive or neither is, and
# exiftool reads the same orientation. jpegtran keeps the orientation tag
# as it was; for the "shown_" cases, which turn a picture whose tag says
# turn by 90 degrees, the viewer's tag must instead make ImageMagick's
# -auto-orient show the picture it showed before, turned the same way.
set -euo pipefail
dir=${1:?test output folder}
fixtures=$dir/../../fixtures/jpegtran
failed=0 checked=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

while read -r name _; do
    ours=$dir/jpegtran_$name.jpg ref=$fixtures/ref_$name.jpg
    [ -f "$ours" ] || { fail "$name: not written"; continue; }
    checked=$((checked + 1))
    djpeg -dct int -pnm "$ours" > "$work/ours.pnm" 2>"$work/err" || fail "$name: djpeg: $(cat "$work/err")"
    djpeg -dct int -pnm "$ref" > "$work/ref.pnm"
    cmp -s "$work/ours.pnm" "$work/ref.pnm" ||
        fail "$name: pixels differ ($(sed -n 2p "$work/ours.pnm") against $(sed -n 2p "$work/ref.pnm"))"
    kind() { identify -format '%[jpeg:sampling-factor] %[interlace]' "$1" 2>/dev/null || true; }
    [ "$(kind "$ours")" = "$(kind "$ref")" ] || fail "$name: '$(kind "$ours")' against '$(kind "$ref")'"
    tag() { exiftool -n -s3 -Orientation "$1" 2>/dev/null || true; }
    case $name in
    shown_*)
        op=$(awk -v n="$name" '$1 == n { print $3 }' "$fixtures/cases.txt")
        case $op in -flip) op=-flop ;; -rotate) op="-rotate 180" ;; esac
        # shellcheck disable=SC2086
        convert "$fixtures/camera_whole.jpg" -auto-orient $op "$work/want.ppm"
        convert "$ours" -auto-orient "$work/got.ppm"
        pae=$(compare -metric PAE "$work/got.ppm" "$work/want.ppm" null: 2>&1 >/dev/null |
              sed -n 's/^[0-9.e+-]* (\([0-9.e+-]*\))$/\1/p' || true)
        if [ -z "$pae" ] || awk -v e="$pae" 'BEGIN { exit !(e > 0.1) }'; then
            fail "$name: shown picture differs (peak ${pae:-size})"
        fi
        ;;
    *)
        [ "$(tag "$ours")" = "$(tag "$ref")" ] || fail "$name: orientation '$(tag "$ours")' against '$(tag "$ref")'"
        ;;
    esac
done < "$fixtures/cases.txt"

echo "$((checked - failed)) of $checked files passed"
[ $failed -eq 0 ] && [ $checked -gt 0 ]
