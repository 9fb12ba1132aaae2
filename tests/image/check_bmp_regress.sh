#!/usr/bin/env bash
# Reads every masked BMP that bmp_regress_test wrote (bmpr_*.bmp with a
# .pam and a .bits beside it) with ImageMagick and compares its pixels with
# the viewer's, which the test wrote as the .pam (alpha only where the file
# has an alpha mask). ImageMagick widens a narrow channel by shifting, the
# viewer by scaling: each channel is compared in the bits the field holds
# (the widths in .bits, red green blue [alpha]); wider ones may differ by
# 1 in rounding.
# Needs ImageMagick and coreutils.
set -euo pipefail
dir=${1:?test-out folder}
convert=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0 checked=0
for bmp in "$dir"/bmpr_*.bmp; do
    [ -e "$bmp" ] || continue
    name=$(basename "$bmp" .bmp)
    pam=$dir/$name.pam
    [ -e "$pam" ] || continue
    format=rgb
    grep -q RGB_ALPHA "$pam" && format=rgba
    "$convert" "$pam" -depth 8 "$format:-" | od -An -v -tu1 -w1 | tr -d ' ' > "$work/want"
    if ! "$convert" "$bmp" -depth 8 "$format:-" 2>/dev/null | od -An -v -tu1 -w1 | tr -d ' ' > "$work/got"; then
        : > "$work/got"
    fi
    widths=$(cat "$dir/$name.bits")
    if [ -s "$work/got" ] && [ "$(wc -l < "$work/got")" = "$(wc -l < "$work/want")" ] &&
        paste "$work/got" "$work/want" | awk -v widths="$widths" -v n=${#format} '
            BEGIN { split(widths, w, " ") }
            { c = (NR - 1) % n + 1
              if (w[c] > 8) { d = $1 - $2; if (d < 0) d = -d; if (d > 1) bad++; next }
              s = 2 ^ (8 - w[c]); if (int($1 / s) != int($2 / s)) bad++ }
            END { exit bad > 0 }'; then
        echo "ok   $name"
    else
        echo "FAIL $name: ImageMagick reads other pixels"; paste "$work/got" "$work/want" | head -12
        failed=$((failed + 1))
    fi
    checked=$((checked + 1))
done
[ $checked -gt 0 ] || { echo "no bmpr_*.bmp files in $dir"; exit 1; }
echo "$((checked - failed)) passed, $failed failed"
[ $failed -eq 0 ]
