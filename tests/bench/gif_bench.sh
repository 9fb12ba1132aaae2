#!/usr/bin/env bash
# LZW decode and encode of a large GIF (4000 x 3000, 256 colours), the
# viewer's code side by side with ImageMagick on the same file, in one run;
# ImageMagick's start-up is taken off its times. Both outputs must hold the
# same picture.
#   tests/bench/gif_bench.sh [BUILD_DIR]    (default build/cmake)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup gif_bench "${1:-}"

"$convert" -size 4000x3000 plasma:fractal -blur 0x1 +dither -colors 256 "$work/big.gif"
start=$(best_of 3 "$convert" -size 1x1 xc: null:)
declare -A theirs
theirs[decode]=$(echo "$(best_of 3 "$convert" "$work/big.gif" null:) - $start" | bc -l)
theirs[encode]=$(echo "$(best_of 3 "$convert" "$work/big.gif" "$work/im_out.gif") - $start - ${theirs[decode]}" | bc -l)

ours=$(wine "$exe" "Z:$work/big.gif" "Z:$work/our_out.gif" | tr -d '\r')
"$convert" "$work/big.gif" rgb:"$work/a.rgb"
"$convert" "$work/our_out.gif" rgb:"$work/b.rgb"
cmp -s "$work/a.rgb" "$work/b.rgb" || { echo "our encoded file differs" >&2; exit 1; }

echo "4000 x 3000 GIF of $(stat -c %s "$work/big.gif") bytes; ImageMagick start-up ${start}s subtracted"
print_ratios <<< "$ours"
ls -l "$work/our_out.gif" "$work/im_out.gif" | awk '{print $9, $5, "bytes"}'
