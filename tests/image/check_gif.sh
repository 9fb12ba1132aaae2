#!/usr/bin/env bash
# Checks the GIF files the image tests wrote with ImageMagick: every
# gif_write_*.gif must decode to its .pam, and every rewritten comment must
# be what ImageMagick reads from the file.
source "$(dirname "$0")/written_files.sh"
for gif in "$out"/gif_write_*.gif; do
    pam=${gif%.gif}.pam
    name=$(basename "$gif")
    count=$((count + 1))
    # Raw RGB of the expected picture: the bytes after the PAM header.
    sed -e '1,/^ENDHDR$/d' "$pam" > "$tmp/want.rgb" 2>/dev/null || : > "$tmp/want.rgb"
    # With the transparent entry's own colour.
    if ! /usr/bin/convert "$gif" -alpha off -depth 8 "rgb:$tmp/im.rgb" 2>"$tmp/err" ||
       ! cmp -s "$tmp/want.rgb" "$tmp/im.rgb"; then
        failed "ImageMagick reads $name differently $(cat "$tmp/err")"
    fi
done

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
