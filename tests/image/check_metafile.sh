#!/usr/bin/env bash
# Renders the placeable WMF that the metafile tests wrote from an enhanced
# metafile with libwmf (wmf2gd) and compares it with the pixels the test
# played from the original EMF: the three regions of the test picture at
# their centres, and no more than a seam of differing pixels overall.
set -euo pipefail
out=${1:?test output folder}
wmf="$out/emf_to_wmf.wmf"
expected="$out/emf_to_wmf_expected.ppm"
for f in "$wmf" "$expected"; do
    [ -s "$f" ] || { echo "check_metafile: $f is missing (did the image tests run?)"; exit 1; }
done
command -v wmf2gd >/dev/null || { echo "check_metafile: wmf2gd (libwmf-bin) is not installed"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wmf2gd -t png -o "$work/rendered.png" "$wmf" >/dev/null 2>&1 \
    || { echo "check_metafile: wmf2gd cannot read $wmf"; exit 1; }

size=$(/usr/bin/identify -format '%w %h' "$work/rendered.png")
read -r w h <<<"$size"
/usr/bin/convert "$expected" -filter point -resize "${w}x${h}!" "$work/expected.png"

fail=0
pixel() { /usr/bin/convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
check_point() {
    local x=$1 y=$2 want=$3 got
    got=$(pixel "$work/rendered.png" "$x" "$y")
    if [ "$got" != "$want" ]; then
        echo "check_metafile: pixel ($x,$y) of the written WMF is $got, expected $want"
        fail=1
    fi
}
check_point $((w / 4)) $((h / 2)) "255,0,0"
check_point $((3 * w / 4)) $((3 * h / 4)) "0,0,255"
check_point $((3 * w / 4)) $((h / 4)) "255,255,255"

differing=$(/usr/bin/compare -metric AE -fuzz 10% "$work/expected.png" "$work/rendered.png" null: 2>&1 || true)
differing=${differing%% *}
limit=$((4 * (w + h)))
if ! [[ "$differing" =~ ^[0-9]+$ ]] || [ "$differing" -gt "$limit" ]; then
    echo "check_metafile: $differing pixels of the written WMF differ from the EMF (limit $limit)"
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_metafile: the written WMF shows the EMF's picture (${w}x${h}, $differing pixels on edges)"
exit "$fail"
