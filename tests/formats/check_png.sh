#!/usr/bin/env bash
# Every png_*.png the tests wrote passes pngcheck, its text chunks included;
# each with a .pam beside it
# decodes in ImageMagick to that RGBA picture.
source "$(dirname "$0")/../image/written_files.sh"
for png in "$out"/png_*.png; do
    name=$(basename "$png")
    count=$((count + 1))
    pngcheck -qt "$png" > "$tmp/err" 2>&1 || failed "pngcheck rejects $name: $(cat "$tmp/err")"
    pam=${png%.png}.pam
    [ -f "$pam" ] || continue
    samples "$pam" "$tmp/want.rgba" rgba
    if ! samples "$png" "$tmp/got.rgba" rgba 2>"$tmp/err" || ! cmp -s "$tmp/want.rgba" "$tmp/got.rgba"; then
        failed "ImageMagick reads $name differently $(cat "$tmp/err")"
    fi
done
finish
