#!/usr/bin/env bash
# Checks the PNG files the format tests wrote: every png_*.png passes
# pngcheck (chunk order, lengths, CRCs), and every png_write_*.png decodes
# in ImageMagick to the RGBA picture of its .pam.
set -euo pipefail
out=${1:?test output folder}
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shopt -s nullglob
for png in "$out"/png_*.png; do
    name=$(basename "$png")
    count=$((count + 1))
    if ! pngcheck -q "$png" > "$tmp/err" 2>&1; then
        echo "check_png: pngcheck rejects $name: $(cat "$tmp/err")" >&2
        fail=1
    fi
    pam=${png%.png}.pam
    [ -f "$pam" ] || continue
    /usr/bin/convert "$pam" -depth 8 "rgba:$tmp/want.rgba"
    if ! /usr/bin/convert "$png" -depth 8 "rgba:$tmp/got.rgba" 2>"$tmp/err" ||
       ! cmp -s "$tmp/want.rgba" "$tmp/got.rgba"; then
        echo "check_png: ImageMagick reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_png: no PNG files in $out" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_png: $count files verified"
exit "$fail"
