#!/usr/bin/env bash
# Checks the PBM-family files the image tests wrote: every pnm_write_* file
# must decode in ImageMagick to the pixels of its .ref, and netpbm must take
# it and every rewritten pnm_comment_* file whole.
set -euo pipefail
out=${1:?test output folder}
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob
for file in "$out"/pnm_write_*.p?m; do
    name=$(basename "$file")
    count=$((count + 1))
    if ! /usr/bin/convert "$file" -depth 8 rgba:"$tmp/got" 2>"$tmp/err" ||
       ! /usr/bin/convert "$file.ref" -depth 8 rgba:"$tmp/want" 2>>"$tmp/err" ||
       ! cmp -s "$tmp/got" "$tmp/want"; then
        echo "check_pnm: ImageMagick reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
    if ! pamtopam < "$file" > /dev/null 2>"$tmp/err"; then
        echo "check_pnm: netpbm refuses $name: $(cat "$tmp/err")" >&2
        fail=1
    fi
done
for file in "$out"/pnm_comment_*.p?m; do
    case "$file" in *_bad*) continue ;; esac
    count=$((count + 1))
    if ! pamtopam < "$file" > /dev/null 2>"$tmp/err"; then
        echo "check_pnm: netpbm refuses $(basename "$file"): $(cat "$tmp/err")" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_pnm: no written files in $out" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "check_pnm: $count files verified"
exit "$fail"
