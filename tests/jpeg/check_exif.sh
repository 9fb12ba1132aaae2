#!/usr/bin/env bash
# Checks the files exif_comment_test rewrote, with exiftool, rdjpgcom and
# djpeg: the orientation written is the one exiftool reads, an XMP
# orientation is left alone, the comment written is the one rdjpgcom reads,
# and no rewrite changed a pixel.
set -euo pipefail
dir=${1:?test output folder}
fixtures=$dir/../../fixtures/exif
failed=0 checked=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

same_pixels() {  # written source
    djpeg -pnm "$1" > "$work/a.pnm" 2>/dev/null && djpeg -pnm "$2" > "$work/b.pnm" 2>/dev/null &&
        cmp -s "$work/a.pnm" "$work/b.pnm"
}

# written source tag value
while read -r written source tag value; do
    file=$dir/$written
    [ -f "$file" ] || { fail "$written: not written"; continue; }
    checked=$((checked + 1))
    got=$(exiftool -n -s3 -"$tag" "$file" 2>/dev/null || true)
    [ "$got" = "$value" ] || fail "$written: $tag '$got', want '$value'"
    same_pixels "$file" "$fixtures/$source" || fail "$written: pixels differ from $source"
done <<'LIST'
orientation_mm.jpg mix.jpg EXIF:Orientation 8
orientation_ii.jpg intel.jpg EXIF:Orientation 8
orientation_ii.jpg intel.jpg ExifByteOrder II
orientation_xmp.jpg xmp.jpg XMP-tiff:Orientation 6
orientation_xmp.jpg xmp.jpg EXIF:Orientation
stripped.jpg mix.jpg EXIF:Orientation
comment_ten.jpg mix.jpg EXIF:Orientation 6
LIST

[ "$(rdjpgcom "$dir/comment_ten.jpg")" = "Ten chars!" ] || fail "comment_ten.jpg: rdjpgcom"
[ -z "$(rdjpgcom "$dir/comment_none.jpg")" ] || fail "comment_none.jpg: rdjpgcom"
[ "$(rdjpgcom "$dir/stripped.jpg")" = "$(printf 'first\nsecond one')" ] || fail "stripped.jpg: comments"

echo "$((checked - failed)) of $checked files passed"
[ $failed -eq 0 ] && [ $checked -gt 0 ]
