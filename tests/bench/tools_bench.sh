#!/usr/bin/env bash
# Image tools against ImageMagick on one 24-megapixel picture (6000 x 4000),
# side by side in one run: quarter turn, 256 colours without and with
# Floyd-Steinberg dithering, greyscale, rotation by 30 degrees with bilinear
# sampling (+distort with the point filter, which samples bilinearly alone)
# and skew by 20 degrees (-shear). ImageMagick's time is the command's
# time less that of a plain read and write of the same file, so both sides
# count the operation alone; each side is the best of three runs, since a
# single run swings the quarter turn's ratio by half. Prints the seconds and
# the ratio ours / theirs.
#
#   tests/bench/tools_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup tools_bench "${1:-}"
picture=$work/picture.ppm
# Debian's policy caps ImageMagick at 256 MiB of pixel cache, too little to
# turn a 24-megapixel picture; this run may use more.
cat > "$work/policy.xml" <<'EOF_POLICY'
<policymap>
  <policy domain="resource" name="memory" value="4GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
EOF_POLICY
export MAGICK_CONFIGURE_PATH=$work
make_photo "$picture"

io=$(best_of 3 "$convert" "$picture" "ppm:$work/out.ppm")
declare -A theirs
im() {  # name options...: ImageMagick's time for the options, less io
    local name=$1
    shift
    theirs[$name]=$(echo "$(best_of 3 "$convert" "$picture" "$@" "ppm:$work/out.ppm") - $io" | bc -l)
}
im rotate90 -rotate 90
im quantize256 +dither -colors 256
im quantize256_dither -dither FloydSteinberg -colors 256
im grayscale -colorspace Gray
im rotate30_bilinear -background black -virtual-pixel background -filter point -interpolate Bilinear +distort SRT 30
im skew20 -background black -shear 20x0

echo "24-megapixel picture; ImageMagick $("$convert" -version | head -1 | cut -d' ' -f3),"\
     "$(nproc) cores, its read+write time ${io}s subtracted"
"$convert" "$picture" -type TrueColor "bmp3:$work/picture.bmp"
best_lines 3 wine "$exe" "Z:$work/picture.bmp" | print_ratios
