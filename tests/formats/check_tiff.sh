#!/usr/bin/env bash
# Every c<code>_<strips|tiles>.tif the tests wrote passes tiffinfo -D and
# decodes in ImageMagick to its c<code>.pnm (JPEG within a fuzz; not JBIG).
source "$(dirname "$0")/../image/written_files.sh"
for tif in "$out"/c*_strips.tif "$out"/c*_tiles.tif; do
    name=$(basename "$tif")
    code=${name%%_*}
    code=${code#c}
    count=$((count + 1))
    if ! tiffinfo -D "$tif" >/dev/null 2>"$tmp/err" || grep -qi error "$tmp/err"; then
        failed "tiffinfo cannot decode $name: $(cat "$tmp/err")"
        continue
    fi
    [ "$code" = 34661 ] && continue
    fuzz=0
    [ "$code" = 7 ] && fuzz=10%
    if ! /usr/bin/convert "$tif" -alpha off -depth 8 "ppm:$tmp/im.ppm" 2>"$tmp/err"; then
        failed "ImageMagick cannot read $name: $(cat "$tmp/err")"
        continue
    fi
    differing=$(/usr/bin/compare -metric AE -fuzz "$fuzz" "$tmp/im.ppm" "$out/c$code.pnm" null: 2>&1 || true)
    [ "$differing" = 0 ] || failed "ImageMagick reads $name with $differing pixels different"
done
finish
