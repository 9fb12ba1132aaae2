#!/usr/bin/env bash
# Checks the PCX files the image tests wrote: every pcx_write_*.pcx must
# decode in netpbm's pcxtoppm to the pixels of its .pam, or in ImageMagick
# when it has four planes (red, green, blue, alpha).
set -euo pipefail
out=${1:?test output folder}
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob
for pcx in "$out"/pcx_write_*.pcx; do
    pam=${pcx%.pcx}.pam
    name=$(basename "$pcx")
    count=$((count + 1))
    # pcxtoppm blends a fourth plane into the colours: ImageMagick only there.
    if grep -q RGB_ALPHA "$pam"; then
        /usr/bin/convert "$pcx" -depth 8 rgba:"$tmp/got" 2>"$tmp/err" || true
        /usr/bin/convert "$pam" -depth 8 rgba:"$tmp/want"
        tool=ImageMagick
    else
        { pcxtoppm "$pcx" | /usr/bin/convert ppm:- -depth 8 rgb:"$tmp/got"; } 2>"$tmp/err" || true
        /usr/bin/convert "$pam" -depth 8 rgb:"$tmp/want"
        tool=pcxtoppm
    fi
    if ! cmp -s "$tmp/got" "$tmp/want"; then
        echo "check_pcx: $tool reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_pcx: no written files in $out" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_pcx: $count files verified"
exit "$fail"
