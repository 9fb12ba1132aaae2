#!/usr/bin/env bash
# Checks the TIFF files the format tests wrote with independent readers:
# every c<code>_<strips|tiles>.tif must pass tiffinfo's full decode (-D)
# and decode in ImageMagick to its c<code>.pnm (JPEG within a fuzz; JBIG,
# which Debian's ImageMagick cannot decode, through tiffinfo alone).
set -euo pipefail
out=${1:?test output folder}
convert=/usr/bin/convert
compare=/usr/bin/compare
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shopt -s nullglob
for tif in "$out"/c*_strips.tif "$out"/c*_tiles.tif; do
    name=$(basename "$tif")
    code=${name%%_*}
    code=${code#c}
    pnm="$out/c$code.pnm"
    count=$((count + 1))
    if ! tiffinfo -D "$tif" >/dev/null 2>"$tmp/err" || grep -qi error "$tmp/err"; then
        echo "check_tiff: tiffinfo cannot decode $name: $(cat "$tmp/err")" >&2
        fail=1
        continue
    fi
    [ "$code" = 34661 ] && continue
    fuzz=0
    [ "$code" = 7 ] && fuzz=10%
    if ! "$convert" "$tif" -alpha off -depth 8 "ppm:$tmp/im.ppm" 2>"$tmp/err"; then
        echo "check_tiff: ImageMagick cannot read $name: $(cat "$tmp/err")" >&2
        fail=1
        continue
    fi
    differing=$("$compare" -metric AE -fuzz "$fuzz" "$tmp/im.ppm" "$pnm" null: 2>&1 || true)
    if [ "$differing" != 0 ]; then
        echo "check_tiff: ImageMagick reads $name with $differing pixels different" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_tiff: no files to check in $out" >&2
    exit 1
fi
echo "check_tiff: $count files checked"
exit $fail
