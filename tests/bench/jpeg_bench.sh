#!/usr/bin/env bash
# JPEG decoding and encoding and the smooth resizes on one 24-megapixel photo
# (6000 x 4000), side by side in one run with libjpeg-turbo's djpeg and cjpeg
# and ImageMagick's Box (area average) and Lagrange (cubic) resizes.
# ImageMagick's resize time is the command's time less that of a plain read
# and write of the same file; djpeg and cjpeg are timed whole (file to
# /dev/null and PPM to file), as the viewer's decode and encode include the
# file too. Both sides count their best of three runs (ImageMagick's resizes
# two). Prints the seconds and the ratio ours / theirs.
#
#   tests/bench/jpeg_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup jpeg_bench "${1:-}"
picture=$work/photo.ppm
photo=$work/photo.jpg
make_photo "$picture"
cjpeg -quality 90 "$picture" > "$photo"

io=$(best_of 3 "$convert" "$picture" "ppm:$work/out.ppm")
declare -A theirs
theirs[decode]=$(best_of 3 djpeg -outfile /dev/null "$photo")
theirs[encode]=$(best_of 3 cjpeg -quality 85 -outfile "$work/cjpeg.jpg" "$picture")
theirs[shrink_half]=$(echo "$(best_of 2 "$convert" "$picture" -filter Box -resize 3000x2000! "ppm:$work/out.ppm") - $io" | bc -l)
theirs[enlarge_5_4]=$(echo "$(best_of 2 "$convert" "$picture" -filter Lagrange -resize 7500x5000! "ppm:$work/out.ppm") - $io" | bc -l)

echo "24-megapixel photo; libjpeg-turbo $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs)," \
     "ImageMagick $("$convert" -version | head -1 | cut -d' ' -f3), $(nproc) cores;" \
     "ImageMagick's read+write time ${io}s subtracted from its resizes"
best_lines 3 wine "$exe" "Z:$photo" "Z:$work/ours.jpg" | print_ratios
