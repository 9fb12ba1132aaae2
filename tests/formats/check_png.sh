#!/usr/bin/env bash
# Every png_*.png the tests wrote passes pngcheck, its text chunks included;
# each with a .pam beside it
# decodes in ImageMagick to that RGBA picture; a rewritten comment is
# stored as its row below says.
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
# The rewritten descriptions as exiftool and pngcheck read them: the text,
# and the chunk's kind, compression and language; an iTXt keeps its
# translated keyword.
while IFS='|' read -r name tag text listed; do
    png=$out/$name
    if [ ! -f "$png" ]; then
        failed "$name: not written"
        continue
    fi
    [ "$(exiftool -s3 "-PNG:$tag" "$png")" = "$text" ] || failed "exiftool reads $name's description otherwise"
    pngcheck -vt "$png" > "$tmp/listing" || true
    grep -q "$listed" "$tmp/listing" || failed "pngcheck does not list '$listed' in $name"
    [ "$name" != png_comment_itxt.png ] || ! grep -q "no translated keyword" "$tmp/listing" ||
        failed "$name lost its translated keyword"
done <<'ROWS'
png_comment_itxt.png|Description-fr|café ünïcod|^ *uncompressed, language tag = fr
png_comment_cp.png|Description|x€“q”é—|^ *uncompressed, no language tag
png_comment_cp_over_text.png|Description|x€“q”é—|^ *uncompressed, no language tag
png_comment_ztxt.png|Description|café new|chunk zTXt
png_comment_ztxt_cp.png|Description|x€“q”é—|^ *compressed, no language tag
png_comment_itxt_z.png|Description-fr|x€“q”é—|^ *compressed, language tag = fr
ROWS
finish
