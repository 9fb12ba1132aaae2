#!/usr/bin/env bash
# Checks the GIF files the image tests wrote with independent decoders:
# every gif_write_*.gif must decode to its .pam in ImageMagick, netpbm's
# giftopnm and giflib's gif2rgb; every rewritten comment must be what
# ImageMagick reads from the file.
source "$(dirname "$0")/written_files.sh"
for gif in "$out"/gif_write_*.gif; do
    pam=${gif%.gif}.pam
    name=$(basename "$gif")
    if [ ! -f "$pam" ]; then
        failed "$name has no expected picture"
        continue
    fi
    count=$((count + 1))
    # Raw RGB of the expected picture: the bytes after the PAM header.
    sed -e '1,/^ENDHDR$/d' "$pam" > "$tmp/want.rgb"
    # ImageMagick, with the transparent entry's own colour.
    if ! /usr/bin/convert "$gif" -alpha off -depth 8 "rgb:$tmp/im.rgb" 2>"$tmp/err" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/im.rgb"; then
        failed "ImageMagick reads $name differently $(cat "$tmp/err")"
    fi
    if ! giftopnm "$gif" 2>"$tmp/err" | pnmtopnm -plain 2>/dev/null | tail -n +4 \
         | tr -s ' \n' '\n\n' | grep -v '^$' > "$tmp/netpbm.txt"; then
        failed "giftopnm cannot read $name: $(cat "$tmp/err")"
    elif ! od -An -v -tu1 "$tmp/want.rgb" | tr -s ' \n' '\n\n' | grep -v '^$' \
           | cmp -s - "$tmp/netpbm.txt"; then
        failed "giftopnm reads $name differently"
    fi
    if ! gif2rgb -1 -o "$tmp/giflib.rgb" "$gif" 2>"$tmp/err" || ! cmp -s "$tmp/want.rgb" "$tmp/giflib.rgb"; then
        failed "giflib reads $name differently $(cat "$tmp/err")"
    fi
done
[ "$count" -gt 0 ] || failed "no written GIF files in $out"

for text in "$out"/gif_comment_*.txt; do
    gif=${text%.txt}.gif
    got=$(/usr/bin/identify -format '%c' "$gif[0]")
    want=$(cat "$text")
    if [ "$got" != "$(printf '%s' "$want" | tr -d '\r')" ] && [ "$got" != "$want" ]; then
        failed "ImageMagick reads the comment of $(basename "$gif") as: $(printf '%s\n' "$got" | head -3)"
    fi
    count=$((count + 1))
done
finish
