#!/usr/bin/env bash
# LZW decode and encode of a large GIF (4000 x 3000, 256 colours), the
# viewer's code side by side with ImageMagick on the same file, in one run.
# Not a test: run by hand after building the tree.
#   tests/bench/gif_bench.sh [build dir, default build/cmake]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/cmake}" && pwd)
exe=$build/tests/bench/gif_bench.exe
convert=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -f "$exe" ] || { echo "build the tree first ($exe)" >&2; exit 1; }

echo "making a 4000x3000 GIF ..."
"$convert" -size 4000x3000 plasma:fractal -blur 0x1 +dither -colors 256 "$work/big.gif"
ls -l "$work/big.gif" | awk '{print "file size", $5, "bytes"}'

best() {  # command... ; prints the best of three wall times in seconds
    local t best=999999
    for _ in 1 2 3; do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
    done
    echo "$best"
}

im_start=$(best "$convert" -size 1x1 xc: null:)
im_decode=$(echo "$(best "$convert" "$work/big.gif" null:) - $im_start" | bc -l)
im_both=$(best "$convert" "$work/big.gif" "$work/im_out.gif")
im_encode=$(echo "$im_both - $im_start - $im_decode" | bc -l)

export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$here/build/wine}
ours=$(wine "$exe" "Z:$work/big.gif" "Z:$work/our_out.gif" 2>&1 | tr -d '\r')
our_decode=$(echo "$ours" | awk '/corvane decode/ {print $3}')
our_encode=$(echo "$ours" | awk '/corvane encode/ {print $3}')
[ -n "$our_decode" ] || { echo "$ours" >&2; exit 1; }

# Both outputs must hold the same picture.
"$convert" "$work/big.gif" rgb:"$work/a.rgb"
"$convert" "$work/our_out.gif" rgb:"$work/b.rgb"
cmp -s "$work/a.rgb" "$work/b.rgb" || { echo "our encoded file differs" >&2; exit 1; }

printf '%-10s %12s %12s %8s\n' "" "corvane s" "ImageMagick s" "ratio"
printf '%-10s %12.3f %12.3f %8.2f\n' decode "$our_decode" "$im_decode" "$(echo "$our_decode / $im_decode" | bc -l)"
printf '%-10s %12.3f %12.3f %8.2f\n' encode "$our_encode" "$im_encode" "$(echo "$our_encode / $im_encode" | bc -l)"
ls -l "$work/our_out.gif" "$work/im_out.gif" | awk '{print $9, $5, "bytes"}'
printf 'ImageMagick start-up %.3f s, taken off its times; ratio < 1: the viewer is faster\n' "$im_start"
