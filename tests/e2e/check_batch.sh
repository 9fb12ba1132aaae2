#!/usr/bin/env bash
# Checks the files e2e's batch_test had the batch window write: a (moved
# into the subfolder) and b turned clockwise (the pixels of libjpeg-turbo's
# jpegtran -copy all -trim -rotate 90 of the same file, Exif kept, the
# comment as rdjpgcom reads it, the Exif thumbnail turned alike), c converted to a PNG of half its size
# (ImageMagick reads its quadrants) and then moved, both into batch_out
# beside the folder, d copied byte for byte into the subfolder and deleted
# from the folder, and the notes photo converted to a JPEG whole and upright.
set -euo pipefail
source "$(dirname "$0")/shard_path.sh"
work=$(shard_path "${1:?e2e work folder}" batch)
fixtures=${2:?fixture folder}/e2e
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for f in sub/batch_a batch_b; do
    jpegtran -copy all -trim -rotate 90 "$fixtures/${f#sub/}.jpg" > "$tmp/ref.jpg"
    djpeg -dct int -pnm "$tmp/ref.jpg" > "$tmp/ref.pnm"
    djpeg -dct int -pnm "$work/$f.jpg" > "$tmp/ours.pnm"
    cmp -s "$tmp/ours.pnm" "$tmp/ref.pnm" || { echo "FAIL $f.jpg not turned like jpegtran"; exit 1; }
    [ "$(exiftool -s3 -Make "$work/$f.jpg")" = Corvane ] || { echo "FAIL $f.jpg lost its Exif"; exit 1; }
    [ "$(rdjpgcom "$work/$f.jpg")" = "Batch note" ] || { echo "FAIL $f.jpg comment"; exit 1; }
    # The Exif thumbnail turned with the picture.
    exiftool -b -ThumbnailImage "$fixtures/${f#sub/}.jpg" | jpegtran -trim -rotate 90 | djpeg -pnm > "$tmp/ref_thumb.pnm"
    exiftool -b -ThumbnailImage "$work/$f.jpg" | djpeg -pnm > "$tmp/thumb.pnm" 2>/dev/null || true
    cmp -s "$tmp/thumb.pnm" "$tmp/ref_thumb.pnm" || { echo "FAIL $f.jpg thumbnail not turned"; exit 1; }
done
out=$(shard_path "$1" batch_out)
cmp -s "$fixtures/batch_c.jpg" "$out/batch_c.jpg" || { echo "FAIL the converted file changed or did not move"; exit 1; }
[ ! -e "$work/batch_c.jpg" ] && [ ! -e "$work/batch_c.png" ] || { echo "FAIL c left in its folder"; exit 1; }
size=$(identify -format '%wx%h' "$out/batch_c.png")
[ "$size" = 160x120 ] || { echo "FAIL batch_c.png is $size, not 160x120"; exit 1; }
# Quadrants red, green / blue, yellow, each 80 x 60 now; their middles.
expect=("40,30 255,0,0" "120,30 0,255,0" "40,90 0,0,255" "120,90 255,255,0")
for e in "${expect[@]}"; do
    at=${e% *} want=${e#* }
    got=$(convert "$out/batch_c.png" -format "%[fx:int(255*p{$at}.r)],%[fx:int(255*p{$at}.g)],%[fx:int(255*p{$at}.b)]" info:)
    IFS=, read -r r g b <<< "$got"
    IFS=, read -r wr wg wb <<< "$want"
    for d in $((r - wr)) $((g - wg)) $((b - wb)); do
        [ "${d#-}" -le 12 ] || { echo "FAIL batch_c.png at $at is $got, want $want"; exit 1; }
    done
done
# The notes photo (orientation 6) converted to JPEG with Enter in the
# halving question: its full size, and the orientation it was stored with,
# so that it stands as it stood.
notes=$(shard_path "$1" batch_keep/other/batch_notes.jpg)
size=$(identify -format '%wx%h' "$notes")
[ "$size" = 320x240 ] || { echo "FAIL converted batch_notes.jpg is $size, not 320x240"; exit 1; }
turn=$(exiftool -s3 -n -Orientation "$notes")
[ "$turn" = 6 ] || { echo "FAIL converted batch_notes.jpg has orientation '$turn', not 6"; exit 1; }
cmp -s "$fixtures/batch_d.jpg" "$work/sub/batch_d.jpg" || { echo "FAIL copy differs"; exit 1; }
[ ! -e "$work/batch_d.jpg" ] || { echo "FAIL batch_d.jpg not deleted"; exit 1; }
echo "batch files checked"
