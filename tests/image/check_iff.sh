#!/usr/bin/env bash
# Checks the IFF files the image tests wrote: netpbm's ilbmtoppm must read
# every iff_write_* file, and those with a .pam to exactly its colours.
source "$(dirname "$0")/written_files.sh"
for iff in "$out"/iff_write_*.iff; do
    pam=${iff%.iff}.pam
    name=$(basename "$iff")
    # netpbm has no reading of 32 planes (colour and alpha).
    case "$name" in *_32_*) continue ;; esac
    count=$((count + 1))
    if ! ilbmtoppm "$iff" > "$tmp/got.ppm" 2>"$tmp/err"; then
        failed "ilbmtoppm refuses $name: $(cat "$tmp/err")"
        continue
    fi
    [ -f "$pam" ] || continue
    samples "$tmp/got.ppm" "$tmp/got"
    samples "$pam" "$tmp/want"
    cmp -s "$tmp/got" "$tmp/want" || failed "ilbmtoppm reads $name differently"
done
finish
