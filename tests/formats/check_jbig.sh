#!/usr/bin/env bash
# Checks the JBIG files the format tests wrote: JBIG-KIT's jbgtopbm must
# decode every jbig_write_*.jbg to the grey levels of its .pam.
set -euo pipefail
out=${1:?test output folder}
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shopt -s nullglob
for jbg in "$out"/jbig_write_*.jbg; do
    name=$(basename "$jbg")
    count=$((count + 1))
    /usr/bin/convert "${jbg%.jbg}.pam" -depth 8 "rgb:$tmp/want.rgb"
    if ! jbgtopbm "$jbg" "$tmp/got.pnm" 2>"$tmp/err" ||
       ! /usr/bin/convert "$tmp/got.pnm" -depth 8 "rgb:$tmp/got.rgb" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/got.rgb"; then
        echo "check_jbig: jbgtopbm reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_jbig: no JBIG files in $out" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_jbig: $count files verified"
exit "$fail"
