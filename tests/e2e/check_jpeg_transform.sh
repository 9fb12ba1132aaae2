#!/usr/bin/env bash
# Checks the files e2e's jpeg_transform_test and huffman_test had the
# program rewrite: the camera JPEG turned from the menu (also while the
# window moved on to another file) against libjpeg-turbo's jpegtran -copy
# all -trim -rotate 90 of the same file (the same pixels as djpeg decodes
# them, the same orientation tag), the file made Exif compliant, and the
# one given orientation 8 by the HUFFMAN dialog.
set -euo pipefail
work_dir=${1:?e2e work folder}
fixtures=${2:?fixture folder}
source "$(dirname "$0")/shard_path.sh"
ours=$(shard_path "$work_dir" jpeg_rotate/camera.jpg) ref=$fixtures/e2e/camera_rot90_ref.jpg
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
djpeg -dct int -pnm "$ours" > "$tmp/ours.pnm"
djpeg -dct int -pnm "$ref" > "$tmp/ref.pnm"
cmp -s "$tmp/ours.pnm" "$tmp/ref.pnm" || { echo "FAIL pixels differ: $(sed -n 2p "$tmp/ours.pnm")"; exit 1; }
tag() { exiftool -n -s3 -Orientation "$1"; }
[ "$(tag "$ours")" = "$(tag "$ref")" ] || { echo "FAIL orientation $(tag "$ours")"; exit 1; }
[ "$(exiftool -s3 -Make "$ours")" = Corvane ] || { echo "FAIL Exif not kept"; exit 1; }
echo "turned file matches jpegtran"

# The same turn asked for while the window moved on to quadrants.jpg (from
# the image window and from the main window's list): camera.jpg's own
# picture turned, its Exif kept.
for case in jpeg_hold_view jpeg_hold_list; do
    held=$(shard_path "$work_dir" "$case/camera.jpg")
    djpeg -dct int -pnm "$held" > "$tmp/held.pnm"
    cmp -s "$tmp/held.pnm" "$tmp/ref.pnm" || { echo "FAIL $case: not camera.jpg turned"; exit 1; }
    [ "$(tag "$held")" = "$(tag "$ref")" ] || { echo "FAIL $case orientation $(tag "$held")"; exit 1; }
    [ "$(exiftool -s3 -Make "$held")" = Corvane ] || { echo "FAIL $case: Exif lost"; exit 1; }
done
echo "turns asked before moving on checked"

# Make Exif Compliant: the same pixels, now with the viewer's Exif segment.
exif=$(shard_path "$work_dir" jpeg_rotate/quadrants.jpg)
djpeg -dct int -pnm "$exif" > "$tmp/exif.pnm"
djpeg -dct int -pnm "$fixtures/e2e/quadrants.jpg" > "$tmp/orig.pnm"
cmp -s "$tmp/exif.pnm" "$tmp/orig.pnm" || { echo "FAIL Exif file pixels differ"; exit 1; }
[ "$(exiftool -s3 -Software "$exif")" = "Corvane File Viewer" ] || { echo "FAIL no Exif segment"; exit 1; }
echo "Exif file checked"

# HUFFMAN (F9): orientation 8 written, the pixels and the maker kept.
huff=$(shard_path "$work_dir" huffman/camera.jpg)
[ "$(tag "$huff")" = 8 ] || { echo "FAIL HUFFMAN orientation $(tag "$huff")"; exit 1; }
[ "$(exiftool -s3 -Make "$huff")" = Corvane ] || { echo "FAIL HUFFMAN lost the Exif data"; exit 1; }
djpeg -dct int -pnm "$huff" > "$tmp/huff.pnm"
djpeg -dct int -pnm "$fixtures/e2e/camera.jpg" > "$tmp/camera.pnm"
cmp -s "$tmp/huff.pnm" "$tmp/camera.pnm" || { echo "FAIL HUFFMAN file pixels differ"; exit 1; }
echo "HUFFMAN file checked"
