#!/usr/bin/env bash
# Checks the Exif information texts exif_info_test wrote against exiftool's
# reading of the same files: every line's value is the one exiftool finds
# (rationals as stored, compared through their quotient; APEX values
# through exiftool's converted ones).
set -euo pipefail
dir=${1:?test output folder}
fixtures=$dir/../../fixtures/exif
failed=0 checked=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

# label tag kind (text, number, ratio, aperture, shutter)
fields='make:Make:text
model:Model:text
software:Software:text
orientation:Orientation:number
exposure time:ExposureTime:ratio
f number:FNumber:ratio
aperture value:ApertureValue:aperture
shutter speed:ShutterSpeedValue:shutter
exposure program:ExposureProgram:number
iso speed ratings:ISO:number
flash:Flash:number
colorspace:ColorSpace:number
pixel x dimension:ExifImageWidth:number
pixel y dimension:ExifImageHeight:number
date time original:DateTimeOriginal:text
date time digitized:CreateDate:text'

for name in camera camera_ii; do
    text=$dir/info_$name.txt
    [ -f "$text" ] || { fail "info_$name.txt: not written"; continue; }
    while IFS=: read -r label tag kind; do
        want=$(exiftool -n -s3 -EXIF:"$tag" "$fixtures/$name.jpg")
        got=$(sed -n "s/^$label: //p" "$text")
        [ -n "$want" ] || continue
        checked=$((checked + 1))
        case $kind in
        text) [ "$got" = "${want:0:50}" ] || fail "$name $label: '$got', exiftool '$want'" ;;
        number) [ "$got" = "$want" ] || fail "$name $label: '$got', exiftool '$want'" ;;
        *)
            # n / d against exiftool's value, converted back from APEX.
            awk -v got="$got" -v want="$want" -v kind="$kind" 'BEGIN {
                split(got, p, " / "); v = p[1] / p[2];
                if (kind == "aperture") v = exp(log(2) * v / 2);
                if (kind == "shutter") v = exp(-log(2) * v);
                d = v - want; if (d < 0) d = -d;
                exit !(p[2] != 0 && d <= 1e-6 * (want < 0 ? -want : want) + 1e-9) }' ||
                fail "$name $label: '$got', exiftool '$want'"
            ;;
        esac
    done <<< "$fields"
    description=$(exiftool -s3 -EXIF:ImageDescription "$fixtures/$name.jpg")
    [ "$(head -1 "$text")" = "$description" ] || fail "$name: first line is not the description"
done

echo "$((checked - failed)) of $checked values agreed with exiftool"
[ $failed -eq 0 ] && [ $checked -gt 20 ]
