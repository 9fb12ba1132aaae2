#!/usr/bin/env bash
# PNG decoding and encoding of one 24-megapixel photo (6000 x 4000, RGB),
# side by side in one run with ImageMagick. ImageMagick's decode is a read
# to nothing less its start-up; its encode is a PPM read and PNG write less
# the PPM read. Both encoders use zlib's default level and adaptive filters.
# Prints the seconds and the ratio ours / theirs; the two written files
# must hold the same pixels.
#
#   tests/bench/png_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup png_bench "${1:-}"
picture=$work/photo.ppm
photo=$work/photo.png
make_photo "$picture"
"$convert" "$picture" "$photo"

start=$(best_of 3 "$convert" -size 1x1 xc: null:)
read_ppm=$(best_of 3 "$convert" "$picture" null:)
declare -A theirs
theirs[decode]=$(echo "$(best_of 3 "$convert" "$photo" null:) - $start" | bc -l)
theirs[encode]=$(echo "$(best_of 3 "$convert" "$picture" "png24:$work/im.png") - $read_ppm" | bc -l)

ours=$(wine "$exe" "Z:$photo" "Z:$work/ours.png" | tr -d '\r')
"$convert" "$work/ours.png" rgb:"$work/a.rgb"
"$convert" "$picture" rgb:"$work/b.rgb"
cmp -s "$work/a.rgb" "$work/b.rgb" || { echo "the viewer's PNG holds other pixels" >&2; exit 1; }

echo "24-megapixel photo; ImageMagick $("$convert" -version | head -1 | cut -d' ' -f3), $(nproc) cores;" \
     "ImageMagick start-up ${start}s and PPM read ${read_ppm}s subtracted"
print_ratios <<< "$ours"
ls -l "$work/ours.png" "$work/im.png" | awk '{print $9, $5, "bytes"}'
