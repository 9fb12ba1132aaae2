#!/usr/bin/env bash
# Checks the JBIG files the format tests wrote: JBIG-KIT's jbgtopbm must
# decode every jbig_write_*.jbg to the grey levels of its .pam.
source "$(dirname "$0")/../image/written_files.sh"
for jbg in "$out"/jbig_write_*.jbg; do
    count=$((count + 1))
    samples "${jbg%.jbg}.pam" "$tmp/want.rgb"
    if ! jbgtopbm "$jbg" "$tmp/got.pnm" 2>"$tmp/err" || ! samples "$tmp/got.pnm" "$tmp/got.rgb" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/got.rgb"; then
        failed "jbgtopbm reads $(basename "$jbg") differently $(cat "$tmp/err")"
    fi
done
finish
