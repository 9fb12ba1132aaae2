#!/usr/bin/env bash
# Checks the PCX files the image tests wrote: every pcx_write_*.pcx must
# decode in netpbm's pcxtoppm to the pixels of its .pam, or in ImageMagick
# when it has four planes (red, green, blue, alpha).
source "$(dirname "$0")/written_files.sh"
for pcx in "$out"/pcx_write_*.pcx; do
    pam=${pcx%.pcx}.pam
    count=$((count + 1))
    # pcxtoppm blends a fourth plane into the colours: ImageMagick only there.
    if grep -q RGB_ALPHA "$pam"; then
        samples "$pcx" "$tmp/got" rgba 2>"$tmp/err" || true
        samples "$pam" "$tmp/want" rgba
        tool=ImageMagick
    else
        { pcxtoppm "$pcx" | samples ppm:- "$tmp/got"; } 2>"$tmp/err" || true
        samples "$pam" "$tmp/want"
        tool=pcxtoppm
    fi
    cmp -s "$tmp/got" "$tmp/want" || failed "$tool reads $(basename "$pcx") differently $(cat "$tmp/err")"
done
finish
