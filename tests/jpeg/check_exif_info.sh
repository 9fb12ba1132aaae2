#!/usr/bin/env bash
# Checks the Exif information texts exif_info_test wrote against exiftool's
# reading of the same files: texts (cut to 50) and numbers as exiftool has
# them; rationals through their quotient, APEX values through exiftool's
# conversion (aperture 2^(v/2), shutter 2^-v).
set -euo pipefail
dir=${1:?test output folder}
fixtures=$dir/../../fixtures/exif
failed=0 checked=0
for name in camera camera_ii; do
    text=$dir/info_$name.txt
    [ -f "$text" ] || { echo "FAIL info_$name.txt: not written"; failed=$((failed + 1)); continue; }
    while IFS=: read -r label tag kind; do
        want=$(exiftool -n -s3 -EXIF:"$tag" "$fixtures/$name.jpg")
        got=$(sed -n "s/^$label: //p" "$text")
        [ "$label" = description ] && got=$(head -1 "$text")
        checked=$((checked + 1))
        awk -v got="$got" -v want="$want" -v kind="$kind" 'BEGIN {
            if (kind == "text") exit !(got == substr(want, 1, 50));
            split(got, p, " / "); v = kind == "number" ? got : p[1] / p[2];
            if (kind == "aperture") v = exp(log(2) * v / 2);
            if (kind == "shutter") v = exp(-log(2) * v);
            d = v - want; exit !(got != "" && d * d <= 1e-12 * want * want) }' ||
            { echo "FAIL $name $label: '$got', exiftool '$want'"; failed=$((failed + 1)); }
    done <<'FIELDS'
description:ImageDescription:text
make:Make:text
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
date time digitized:CreateDate:text
FIELDS
done
echo "$((checked - failed)) of $checked values agreed with exiftool"
[ $failed -eq 0 ] && [ $checked -gt 20 ]
