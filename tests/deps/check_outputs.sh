#!/usr/bin/env bash
# Reads the TIFF files deps_tests wrote with Debian's libtiff (through
# ImageMagick) and compares each with the netpbm image written beside it:
# lossless codecs must match exactly, 8-bit JPEG within 4 levels. Debian's
# libjpeg has no 12-bit mode, so the 12-bit JPEG file is only checked by the
# test itself.
set -euo pipefail
dir=$1
failed=0 checked=0
for ref in "$dir"/deps_*.pnm; do
    name=$(basename "$ref" .pnm)
    tif=$dir/$name.tif
    case $name in
        deps_jpeg12) continue ;;
        deps_jpeg8)  limit=$(awk 'BEGIN { print 4 / 255 + 1e-6 }') ;;
        *)           limit=0 ;;
    esac
    # compare prints the peak absolute error as "N (normalised)" on stderr.
    pae=$(compare -metric PAE "$tif" "$ref" null: 2>&1 >/dev/null | sed -n 's/^[0-9.e+-]* (\([0-9.e+-]*\))$/\1/p' || true)
    if [ -z "$pae" ] || awk -v e="$pae" -v l="$limit" 'BEGIN { exit !(e > l) }'; then
        echo "FAIL $name: peak error ${pae:-unreadable} (limit $limit)"
        failed=$((failed + 1))
    else
        echo "ok   $name: peak error $pae"
    fi
    checked=$((checked + 1))
done
[ $checked -gt 0 ] || { echo "no output files in $dir"; exit 1; }
echo "$((checked - failed)) passed, $failed failed"
[ $failed -eq 0 ]
