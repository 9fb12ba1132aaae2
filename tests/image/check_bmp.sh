#!/usr/bin/env bash
# Reads every BMP that bmp_write_test wrote (bmpw_*.bmp) with ImageMagick and
# compares the pixels with the expected ones the test wrote beside it
# (bmpw_*.pam). Files with 16-bit fields compare the bits the fields hold
# (5 per channel, green 6 under 5-6-5), since each decoder widens them to 8
# bits its own way; 10-bit fields allow 1 of rounding.
# Needs ImageMagick and coreutils.
source "$(dirname "$0")/written_files.sh"

# One sample per line, 8 bits, red green blue.
bmp_samples() {  # file
    /usr/bin/convert "$1" -depth 8 rgb:- | od -An -v -tu1 -w1 | tr -d ' '
}

# Compares two sample lists; mode exact, 555, 565 or 1010.
same_samples() {  # got want mode
    [ -s "$1" ] || return 1
    [ "$(wc -l < "$1")" = "$(wc -l < "$2")" ] || return 1
    paste "$1" "$2" | awk -v mode="$3" '
        { c = (NR - 1) % 3; a = $1; b = $2
          if (mode == "555" || (mode == "565" && c != 1)) { a = int(a / 8); b = int(b / 8) }
          else if (mode == "565") { a = int(a / 4); b = int(b / 4) }
          d = a - b; if (d < 0) d = -d
          if (d > (mode == "1010" ? 1 : 0)) { bad++; if (bad <= 3) printf "  sample %d: %d vs %d\n", NR, $1, $2 } }
        END { exit bad > 0 }'
}

for bmp in "$out"/bmpw_*.bmp; do
    name=$(basename "$bmp" .bmp)
    ref=$out/$name.pam
    [ -e "$ref" ] || continue
    case $name in
        *_555*)  mode=555 ;;
        *_565*)  mode=565 ;;
        *_1010*) mode=1010 ;;
        *)       mode=exact ;;
    esac
    bmp_samples "$ref" > "$tmp/want"
    bmp_samples "$bmp" > "$tmp/got" 2>/dev/null || : > "$tmp/got"
    same_samples "$tmp/got" "$tmp/want" "$mode" ||
        failed "$name: ImageMagick reads other pixels than $name.pam, or cannot read the file"
    count=$((count + 1))
done
finish
