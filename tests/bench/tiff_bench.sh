#!/usr/bin/env bash
# TIFF decoding of one 24-megapixel picture (6000 x 4000) stored three ways:
# LZW strips with the differencing predictor, Deflate tiles of 256 x 256 and
# JPEG with 2x2-subsampled YCbCr, side by side in one run with ImageMagick
# reading the same files (its time less that of reading and writing the
# plain PPM it writes, so both sides count the decode alone). Prints the
# seconds and the ratio ours / theirs.
#
#   tests/bench/tiff_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup tiff_bench "${1:-}"
picture=$work/photo.ppm
make_photo "$picture"
pnmtotiff "$picture" > "$work/plain.tif" 2>/dev/null
tiffcp -c lzw:2 "$work/plain.tif" "$work/lzw.tif"
tiffcp -c zip -t -w 256 -l 256 "$work/plain.tif" "$work/deflate_tiled.tif"
tiffcp -c jpeg:90 -r 16 "$work/plain.tif" "$work/jpeg_ycbcr.tif"

io=$(best_of 3 "$convert" "$picture" "ppm:$work/out.ppm")
declare -A theirs
for name in lzw deflate_tiled jpeg_ycbcr; do
    theirs[$name]=$(echo "$(best_of 3 "$convert" "$work/$name.tif" "ppm:$work/out.ppm") - $io" | bc -l)
done

echo "24-megapixel picture; ImageMagick $("$convert" -version | head -1 | cut -d' ' -f3)," \
     "libtiff $(dpkg-query -W -f='${Version}\n' libtiff6 2>/dev/null | head -1), $(nproc) cores;" \
     "ImageMagick's PPM read+write time ${io}s subtracted"
wine "$exe" "lzw=Z:$work/lzw.tif" "deflate_tiled=Z:$work/deflate_tiled.tif" \
     "jpeg_ycbcr=Z:$work/jpeg_ycbcr.tif" | tr -d '\r' | print_ratios
