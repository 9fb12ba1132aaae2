#!/usr/bin/env bash
# Checks the PBM-family files the image tests wrote: every pnm_write_* file
# must decode in ImageMagick to the pixels of its .ref, and netpbm must take
# it and every rewritten pnm_comment_* file whole.
source "$(dirname "$0")/written_files.sh"
for file in "$out"/pnm_write_*.p?m "$out"/pnm_comment_*.p?m; do
    name=$(basename "$file")
    case "$name" in *_bad*) continue ;; esac
    count=$((count + 1))
    if [[ $name == pnm_write_* ]] && { ! samples "$file" "$tmp/got" rgba 2>"$tmp/err" ||
            ! samples "$file.ref" "$tmp/want" rgba 2>>"$tmp/err" || ! cmp -s "$tmp/got" "$tmp/want"; }; then
        failed "ImageMagick reads $name differently $(cat "$tmp/err")"
    fi
    pamtopam < "$file" > /dev/null 2>"$tmp/err" || failed "netpbm refuses $name: $(cat "$tmp/err")"
done
finish
