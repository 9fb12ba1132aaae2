#!/usr/bin/env bash
# Reads every masked BMP that bmp_regress_test wrote (bmpr_*.bmp with a
# .pam and a .bits beside it) with ImageMagick and compares its pixels with
# the viewer's, which the test wrote as the .pam (alpha only where the file
# has an alpha mask). ImageMagick widens a narrow channel by shifting, the
# viewer by scaling: each channel is compared in the bits the field holds
# (the widths in .bits, red green blue [alpha]); wider ones may differ by
# 1 in rounding.
# Needs ImageMagick and coreutils.
source "$(dirname "$0")/written_files.sh"
for bmp in "$out"/bmpr_*.bmp; do
    name=$(basename "$bmp" .bmp)
    pam=$out/$name.pam
    [ -e "$pam" ] || continue
    format=rgb
    grep -q RGB_ALPHA "$pam" && format=rgba
    /usr/bin/convert "$pam" -depth 8 "$format:-" | od -An -v -tu1 -w1 | tr -d ' ' > "$tmp/want"
    if ! /usr/bin/convert "$bmp" -depth 8 "$format:-" 2>/dev/null | od -An -v -tu1 -w1 | tr -d ' ' > "$tmp/got"; then
        : > "$tmp/got"
    fi
    widths=$(cat "$out/$name.bits")
    if ! [ -s "$tmp/got" ] || [ "$(wc -l < "$tmp/got")" != "$(wc -l < "$tmp/want")" ] ||
        ! paste "$tmp/got" "$tmp/want" | awk -v widths="$widths" -v n=${#format} '
            BEGIN { split(widths, w, " ") }
            { c = (NR - 1) % n + 1
              if (w[c] > 8) { d = $1 - $2; if (d < 0) d = -d; if (d > 1) bad++; next }
              s = 2 ^ (8 - w[c]); if (int($1 / s) != int($2 / s)) bad++ }
            END { exit bad > 0 }'; then
        failed "ImageMagick reads other pixels from $name"
    fi
    count=$((count + 1))
done
finish
