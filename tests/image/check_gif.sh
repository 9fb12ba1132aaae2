#!/usr/bin/env bash
# Checks the GIF files the image tests wrote with independent decoders:
# every gif_write_*.gif must decode to its .pam in ImageMagick, netpbm's
# giftopnm and giflib's gif2rgb; every rewritten comment must be what
# ImageMagick reads from the file.
set -euo pipefail
out=${1:?test output folder}
convert=/usr/bin/convert
identify=/usr/bin/identify
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shopt -s nullglob
for gif in "$out"/gif_write_*.gif; do
    pam=${gif%.gif}.pam
    name=$(basename "$gif")
    if [ ! -f "$pam" ]; then
        echo "check_gif: $name has no expected picture" >&2
        fail=1
        continue
    fi
    count=$((count + 1))
    # Raw RGB of the expected picture: the bytes after the PAM header.
    sed -e '1,/^ENDHDR$/d' "$pam" > "$tmp/want.rgb"
    # ImageMagick, with the transparent entry's own colour.
    if ! "$convert" "$gif" -alpha off -depth 8 "rgb:$tmp/im.rgb" 2>"$tmp/err" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/im.rgb"; then
        echo "check_gif: ImageMagick reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
    if ! giftopnm "$gif" 2>"$tmp/err" | pnmtopnm -plain 2>/dev/null | tail -n +4 \
         | tr -s ' \n' '\n\n' | grep -v '^$' > "$tmp/netpbm.txt"; then
        echo "check_gif: giftopnm cannot read $name: $(cat "$tmp/err")" >&2
        fail=1
    elif ! od -An -v -tu1 "$tmp/want.rgb" | tr -s ' \n' '\n\n' | grep -v '^$' \
           | cmp -s - "$tmp/netpbm.txt"; then
        echo "check_gif: giftopnm reads $name differently" >&2
        fail=1
    fi
    if ! gif2rgb -1 -o "$tmp/giflib.rgb" "$gif" 2>"$tmp/err" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/giflib.rgb"; then
        echo "check_gif: giflib reads $name differently $(cat "$tmp/err")" >&2
        fail=1
    fi
done
if [ "$count" -eq 0 ]; then
    echo "check_gif: no written GIF files in $out" >&2
    fail=1
fi

for text in "$out"/gif_comment_*.txt; do
    gif=${text%.txt}.gif
    got=$("$identify" -format '%c' "$gif[0]")
    want=$(cat "$text")
    if [ "$got" != "$(printf '%s' "$want" | tr -d '\r')" ] && [ "$got" != "$want" ]; then
        echo "check_gif: ImageMagick reads the comment of $(basename "$gif") as:" >&2
        printf '%s\n' "$got" | head -3 >&2
        fail=1
    fi
    count=$((count + 1))
done

[ "$fail" -eq 0 ] && echo "check_gif: $count files verified"
exit "$fail"
