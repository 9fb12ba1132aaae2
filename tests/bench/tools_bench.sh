#!/usr/bin/env bash
# Image tools against ImageMagick on one 24-megapixel picture (6000 x 4000),
# side by side in one run: quarter turn, 256 colours without and with
# Floyd-Steinberg dithering, greyscale, rotation by 30 degrees with bilinear
# sampling (+distort with the point filter, which samples bilinearly alone)
# and skew by 20 degrees (-shear). ImageMagick's time is the command's
# time less that of a plain read and write of the same file, so both sides
# count the operation alone. Prints the seconds and the ratio ours / theirs.
#
#   tests/bench/tools_bench.sh [BUILD_DIR]    (default build/cmake)
# Uses WINEPREFIX when set, else BUILD_DIR/../wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/cmake}" && pwd)
exe=$build/tests/bench/tools_bench.exe
convert=/usr/bin/convert
[ -x "$exe" ] || [ -f "$exe" ] || { echo "build tools_bench first: cmake --build $build --target tools_bench" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wine} WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
source "$(dirname "$0")/bench_common.sh"
make_photo "$picture"

io=$(best_of 3 "$convert" "$picture" "ppm:$work/out.ppm")
declare -A theirs
theirs[rotate90]=$(best_of 2 "$convert" "$picture" -rotate 90 "ppm:$work/out.ppm")
theirs[quantize256]=$(best_of 2 "$convert" "$picture" +dither -colors 256 "ppm:$work/out.ppm")
theirs[quantize256_dither]=$(best_of 2 "$convert" "$picture" -dither FloydSteinberg -colors 256 "ppm:$work/out.ppm")
theirs[grayscale]=$(best_of 2 "$convert" "$picture" -colorspace Gray "ppm:$work/out.ppm")
theirs[rotate30_bilinear]=$(best_of 2 "$convert" "$picture" -background black -virtual-pixel background \
    -filter point -interpolate Bilinear +distort SRT 30 "ppm:$work/out.ppm")
theirs[skew20]=$(best_of 2 "$convert" "$picture" -background black -shear 20x0 "ppm:$work/out.ppm")

ours=$(wine "$exe" "Z:$picture" | tr -d '\r')

echo "24-megapixel picture; ImageMagick $("$convert" -version | head -1 | cut -d' ' -f3),"\
     "$(nproc) cores, its read+write time ${io}s subtracted"
printf '%-20s %10s %14s %8s\n' operation ours_s imagemagick_s ratio
while read -r name t; do
    im=$(echo "${theirs[$name]} - $io" | bc -l)
    if [ "$(echo "$im < 0.001" | bc -l)" = 1 ]; then im=0.001; fi
    printf '%-20s %10.3f %14.3f %8.2f\n' "$name" "$t" "$im" "$(echo "$t / $im" | bc -l)"
done <<< "$ours"
