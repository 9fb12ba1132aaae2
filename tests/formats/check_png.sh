#!/usr/bin/env bash
# Every png_*.png the tests wrote passes pngcheck, its text chunks included;
# each with a .pam beside it
# decodes in ImageMagick to that RGBA picture; a rewritten iTXt comment
# keeps its language and translated keyword.
source "$(dirname "$0")/../image/written_files.sh"
for png in "$out"/png_*.png; do
    name=$(basename "$png")
    count=$((count + 1))
    pngcheck -qt "$png" > "$tmp/err" 2>&1 || failed "pngcheck rejects $name: $(cat "$tmp/err")"
    pam=${png%.png}.pam
    [ -f "$pam" ] || continue
    samples "$pam" "$tmp/want.rgba" rgba
    if ! samples "$png" "$tmp/got.rgba" rgba 2>"$tmp/err" || ! cmp -s "$tmp/want.rgba" "$tmp/got.rgba"; then
        failed "ImageMagick reads $name differently $(cat "$tmp/err")"
    fi
done
# The rewritten iTXt description as exiftool and pngcheck read it: its
# language, translated keyword and UTF-8 text.
itxt=$out/png_comment_itxt.png
if [ -f "$itxt" ]; then
    [ "$(exiftool -s3 -PNG:Description-fr "$itxt")" = "café ünïcod" ] || failed "exiftool reads png_comment_itxt.png's description otherwise"
    pngcheck -vt "$itxt" > "$tmp/listing"
    grep -q "language tag = fr" "$tmp/listing" || failed "png_comment_itxt.png lost its language"
    ! grep -q "no translated keyword" "$tmp/listing" || failed "png_comment_itxt.png lost its translated keyword"
else
    failed "png_comment_itxt.png: not written"
fi
finish
