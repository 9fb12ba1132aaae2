#!/usr/bin/env bash
# What a user waits for: from a file's selection in the main window to its
# preview painted, for a 24-megapixel JPEG, a 24-megapixel LZW TIFF (with
# the differencing predictor) and a 4000 x 3000 PNG, side by side in one run
# with ImageMagick making a preview-sized picture of the same file
# ("convert FILE -resize 600x600 ppm:-", timed whole, best of three). Prints
# the seconds and the ratio ours / theirs, then where our time goes: the
# file's bytes read, the decode, the steps after the read and the stretch
# to the preview (the rest of the total is the list's selection, the
# identification, the progress strip and the painting of the window).
#
#   tests/bench/preview_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup preview_bench "${1:-}"
picture=$work/photo.ppm
make_photo "$picture"
cjpeg -quality 90 "$picture" > "$work/photo.jpg"
pnmtotiff "$picture" > "$work/plain.tif" 2>/dev/null
tiffcp -c lzw:2 "$work/plain.tif" "$work/photo.tif"
rm -f "$work/plain.tif"
"$convert" "$picture" -resize 4000x3000! "$work/photo.png"
"$convert" -size 8x8 xc:gray "bmp3:$work/tiny.bmp"
rm -f "$picture"

declare -A theirs
for name in jpeg:photo.jpg tiff_lzw:photo.tif png:photo.png; do
    theirs[${name%%:*}_total]=$(best_of 3 "$convert" "$work/${name#*:}" -resize 600x600 ppm:-)
done

# The program needs a display; a virtual one when there is none.
run=()
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a -s "-screen 0 1280x1024x24")
export CORVANE_EXE=Z:$(dirname "$exe")/../../Corvane.exe
lines=$("${run[@]}" wine "$exe" "Z:$work" jpeg=photo.jpg tiff_lzw=photo.tif png=photo.png | tr -d '\r')

echo "24-megapixel JPEG and LZW TIFF, 12-megapixel PNG; ImageMagick" \
     "$("$convert" -version | head -1 | cut -d' ' -f3), $(nproc) cores"
grep '_total ' <<< "$lines" | print_ratios
echo
echo "where our time goes (seconds, best of three each):"
printf '%-10s %8s %8s %8s %8s %8s\n' file read decode after stretch total
for name in jpeg tiff_lzw png; do
    printf '%-10s' "$name"
    for step in read decode after stretch total; do
        printf ' %8.3f' "$(awk -v k="${name}_$step" '$1 == k {print $2}' <<< "$lines")"
    done
    echo
done
