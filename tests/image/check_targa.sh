#!/usr/bin/env bash
# Checks the Targa files the image tests wrote: every tga_write_* and
# tga_comment_check file must decode in netpbm's tgatoppm to the colours of
# its .pam, and 32-bit files in ImageMagick to its alpha as well.
source "$(dirname "$0")/written_files.sh"
same_within() {  # file file tolerance: same length, bytes differ by at most tolerance
    perl -e 'local $/; open my $a, "<:raw", $ARGV[0] or exit 1; open my $b, "<:raw", $ARGV[1] or exit 1;
             my ($x, $y) = (<$a>, <$b>); exit 1 if length $x != length $y;
             for my $i (0 .. length($x) - 1) { exit 1 if abs(ord(substr $x, $i, 1) - ord(substr $y, $i, 1)) > $ARGV[2] }' "$@"
}
for tga in "$out"/tga_write_*.tga "$out"/tga_comment_check.tga; do
    pam=${tga%.tga}.pam
    name=$(basename "$tga")
    count=$((count + 1))
    { tgatoppm "$tga" | samples ppm:- "$tmp/got"; } 2>"$tmp/err" || true
    samples "$pam" "$tmp/want"
    # 5-bit samples scale by 255 / 31 in netpbm, by 8 in the picture.
    case "$name" in *_16_*) tolerance=7 ;; *) tolerance=0 ;; esac
    same_within "$tmp/got" "$tmp/want" "$tolerance" || failed "tgatoppm reads $name differently $(cat "$tmp/err")"
    if grep -q RGB_ALPHA "$pam"; then
        /usr/bin/convert "$tga" -depth 8 -flip rgba:"$tmp/got" 2>"$tmp/err" || true
        samples "$pam" "$tmp/want" rgba
        cmp -s "$tmp/got" "$tmp/want" || failed "ImageMagick reads the alpha of $name differently $(cat "$tmp/err")"
    fi
done
if [ "$(/usr/bin/identify -format '%c' "$out/tga_comment_check.tga" 2>/dev/null)" != "Image ID text" ]; then
    failed "ImageMagick reads another comment from tga_comment_check.tga"
fi
finish
