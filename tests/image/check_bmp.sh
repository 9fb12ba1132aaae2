#!/usr/bin/env bash
# Reads every BMP that bmp_write_test wrote (bmpw_*.bmp) with ImageMagick and
# with netpbm's bmptoppm and compares the pixels with the expected ones the
# test wrote beside it (bmpw_*.pam). Files with 16-bit fields compare the
# bits the fields hold (5 per channel, green 6 under 5-6-5), since each tool
# widens them to 8 bits its own way; 10-bit fields allow 1 of rounding.
# Needs ImageMagick, netpbm and coreutils.
source "$(dirname "$0")/written_files.sh"

le32() {  # value -> 4 bytes, little-endian
    local v=$1 i
    for i in 0 8 16 24; do
        printf "\\$(printf %03o $(( (v >> i) & 255 )))"
    done
}

# bmptoppm takes bit-field masks only from a V4/V5 header, not after the
# 40-byte header the writer uses (which Windows and ImageMagick read): the
# same header, masks and rows are moved into a 124-byte header for it.
rewrap_v5() {  # in out
    local data_size=$(( $(stat -c %s "$1") - 66 ))
    {
        printf 'BM'; le32 $(( 138 + data_size )); le32 0; le32 138
        le32 124; dd if="$1" bs=1 skip=18 count=36 2>/dev/null
        dd if="$1" bs=1 skip=54 count=12 2>/dev/null
        head -c 72 /dev/zero
        tail -c +67 "$1"
    } > "$2"
}

# One sample per line, 8 bits, red green blue.
bmp_samples() {  # file [decoder]
    if [ "${2:-}" = netpbm ]; then
        local input=$1
        case $1 in
            *_565*|*_1010*) rewrap_v5 "$1" "$tmp/v5.bmp"; input=$tmp/v5.bmp ;;
        esac
        bmptoppm "$input" 2>/dev/null | /usr/bin/convert ppm:- -depth 8 rgb:- | od -An -v -tu1 -w1 | tr -d ' '
    else
        /usr/bin/convert "$1" -depth 8 rgb:- | od -An -v -tu1 -w1 | tr -d ' '
    fi
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
    decoders="imagemagick netpbm"
    # bmptoppm misreads 10-bit fields (200,100,50 comes out as 6,64,200).
    case $name in *_1010*) decoders=imagemagick ;; esac
    for decoder in $decoders; do
        bmp_samples "$bmp" "$decoder" > "$tmp/got" 2>/dev/null || : > "$tmp/got"
        same_samples "$tmp/got" "$tmp/want" "$mode" ||
            failed "$name ($decoder): pixels differ from $name.pam or the file was not read"
        count=$((count + 1))
    done
done
finish
