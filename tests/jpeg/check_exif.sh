#!/usr/bin/env bash
# Checks the files exif_comment_test rewrote: the orientation exiftool reads,
# an XMP orientation left alone, comments kept or replaced, no pixel changed.
source "$(dirname "$0")/../image/written_files.sh"
fixtures=$out/../../fixtures/exif

# written source tag value
while read -r written source tag value; do
    file=$out/$written
    [ -f "$file" ] || { failed "$written: not written"; continue; }
    count=$((count + 1))
    got=$(exiftool -n -s3 -"$tag" "$file" 2>/dev/null || true)
    [ "$got" = "$value" ] || failed "$written: $tag '$got', want '$value'"
    djpeg -pnm "$file" > "$tmp/a.pnm" 2>/dev/null && djpeg -pnm "$fixtures/$source" > "$tmp/b.pnm" &&
        cmp -s "$tmp/a.pnm" "$tmp/b.pnm" || failed "$written: pixels differ from $source"
done <<'LIST'
orientation_mm.jpg mix.jpg EXIF:Orientation 8
orientation_ii.jpg intel.jpg EXIF:Orientation 8
orientation_ii.jpg intel.jpg ExifByteOrder II
orientation_xmp.jpg xmp.jpg XMP-tiff:Orientation 6
orientation_long_mm.jpg mix.jpg EXIF:Orientation 8
orientation_short2_mm.jpg mix.jpg EXIF:Orientation 8 0
orientation_long_ii.jpg intel.jpg EXIF:Orientation 8
orientation_xmp.jpg xmp.jpg EXIF:Orientation
stripped.jpg mix.jpg EXIF:Orientation
comment_ten.jpg mix.jpg EXIF:Orientation 6
comment_aftersof_ten.jpg plain.jpg Comment Ten chars!
comment_between_scans_none.jpg progressive.jpg Comment
LIST

# The comment after the frame header went with the others.
[ "$(rdjpgcom "$out/comment_aftersof_ten.jpg")" = "Ten chars!" ] || failed "comment_aftersof_ten.jpg: comments"
[ -z "$(rdjpgcom "$out/comment_aftersof_none.jpg")" ] || failed "comment_aftersof_none.jpg: comments"

[ "$(rdjpgcom "$out/stripped.jpg")" = "$(printf 'first\nsecond one')" ] || failed "stripped.jpg: comments"
finish
