#!/usr/bin/env bash
# Checks the IFF files the image tests wrote: netpbm's ilbmtoppm must read
# every iff_write_* file, and those with a .pam to exactly its colours.
set -euo pipefail
out=${1:?test output folder}
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob
for iff in "$out"/iff_write_*.iff; do
    pam=${iff%.iff}.pam
    name=$(basename "$iff")
    # netpbm has no reading of 32 planes (colour and alpha).
    case "$name" in *_32_*) continue ;; esac
    count=$((count + 1))
    if ! ilbmtoppm "$iff" > "$tmp/got.ppm" 2>"$tmp/err"; then
        echo "check_iff: ilbmtoppm refuses $name: $(cat "$tmp/err")" >&2
        fail=1
        continue
    fi
    [ -f "$pam" ] || continue
    /usr/bin/convert "$tmp/got.ppm" -depth 8 rgb:"$tmp/got"
    /usr/bin/convert "$pam" -depth 8 rgb:"$tmp/want"
    if ! cmp -s "$tmp/got" "$tmp/want"; then
        echo "check_iff: ilbmtoppm reads $name differently" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_iff: no written files in $out" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_iff: $count files verified"
exit "$fail"
