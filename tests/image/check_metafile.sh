#!/usr/bin/env bash
# Renders the placeable WMF that the metafile tests wrote from an enhanced
# metafile with libwmf (wmf2gd) and compares it with the pixels the test
# played from the original EMF: no more than a seam of differing pixels.
source "$(dirname "$0")/written_files.sh"
wmf="$out/emf_to_wmf.wmf"
expected="$out/emf_to_wmf_expected.ppm"
for f in "$wmf" "$expected"; do
    [ -s "$f" ] || { echo "check_metafile: $f is missing (did the image tests run?)"; exit 1; }
done
command -v wmf2gd >/dev/null || { echo "check_metafile: wmf2gd (libwmf-bin) is not installed"; exit 1; }

wmf2gd -t png -o "$tmp/rendered.png" "$wmf" >/dev/null 2>&1 \
    || { echo "check_metafile: wmf2gd cannot read $wmf"; exit 1; }

size=$(/usr/bin/identify -format '%w %h' "$tmp/rendered.png")
read -r w h <<<"$size"
/usr/bin/convert "$expected" -filter point -resize "${w}x${h}!" "$tmp/expected.png"

differing=$(/usr/bin/compare -metric AE -fuzz 10% "$tmp/expected.png" "$tmp/rendered.png" null: 2>&1 || true)
differing=${differing%% *}
limit=$((4 * (w + h)))
if ! [[ "$differing" =~ ^[0-9]+$ ]] || [ "$differing" -gt "$limit" ]; then
    failed "$differing pixels of the written WMF differ from the EMF (limit $limit)"
fi
count=1
finish
