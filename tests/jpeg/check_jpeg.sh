#!/usr/bin/env bash
# The JPEG files jpeg_tests wrote: djpeg decodes each lossy one within a level
# of the .ppm the viewer's reader saw, ImageMagick identifies it, exiftool
# reads its Exif block and thumbnail (lossless ones are checked in the tests).
source "$(dirname "$0")/../image/written_files.sh"

# name colour-space width height lossy-main lossy-thumbnail
while read -r name space width height lossy lossy_thumb; do
    jpg=$out/$name.jpg
    [ -f "$jpg" ] || { failed "$name: not written"; continue; }
    count=$((count + 1))
    if [ "$lossy" = yes ]; then
        if ! djpeg -pnm "$jpg" > "$tmp/$name.pnm" 2>"$tmp/err"; then
            failed "$name: djpeg: $(cat "$tmp/err")"
        else
            pae=$(compare -metric PAE "$tmp/$name.pnm" "$out/$name.ppm" null: 2>&1 >/dev/null |
                  sed -n 's/^[0-9.e+-]* (\([0-9.e+-]*\))$/\1/p' || true)
            if [ -z "$pae" ] || awk -v e="$pae" 'BEGIN { exit !(e > 1 / 255 + 1e-6) }'; then
                failed "$name: djpeg differs from the viewer's decoding (peak ${pae:-unreadable})"
            fi
        fi
        size=$(identify -format '%wx%h' "$jpg" 2>/dev/null || true)
        [ "$size" = "${width}x${height}" ] || failed "$name: ImageMagick sees '$size'"
    fi
    exif=$(exiftool -n -s3 -ColorSpace -ExifImageWidth -ExifImageHeight -Orientation -XResolution -Software \
           -ModifyDate "$jpg" 2>/dev/null | tr '\n' ' ' || true)
    date='[0-9]{4}(:[0-9]{2}){2} [0-9]{2}(:[0-9]{2}){2} '
    [[ "$exif" =~ ^"$space $width $height 1 200 Corvane File Viewer "$date$ ]] || failed "$name: Exif fields '$exif'"
    exiftool -b -ThumbnailImage "$jpg" > "$tmp/thumb.jpg" 2>/dev/null || true
    if [ ! -s "$tmp/thumb.jpg" ]; then
        failed "$name: no thumbnail"
    elif [ "$lossy_thumb" = yes ]; then
        # Pictures within 160 x 160 keep their size in the thumbnail.
        thumb=$(djpeg -pnm "$tmp/thumb.jpg" 2>/dev/null | sed -n 2p || true)
        [ "$thumb" = "$width $height" ] || failed "$name: thumbnail size '$thumb'"
    fi
done <<'LIST'
w_baseline 6 67 45 yes yes
w_progressive 6 67 45 yes yes
w_progressive_lossless 6 67 45 yes no
w_lossless 2 67 45 no no
w_grey8 0 21 13 no no
w_bw1 0 21 13 no no
w_almost_grey8 2 21 13 no no
LIST

finish
