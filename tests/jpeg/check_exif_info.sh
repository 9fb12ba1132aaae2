#!/usr/bin/env bash
# Checks the Exif information texts exif_info_test wrote against exiftool, a
# field of each kind: texts cut to 50, numbers, rationals through their
# quotient, APEX values through exiftool's conversion (aperture 2^(v/2),
# shutter 2^-v).
source "$(dirname "$0")/../image/written_files.sh"
fixtures=$out/../../fixtures/exif
for name in camera camera_ii; do
    text=$out/info_$name.txt
    [ -f "$text" ] || { failed "info_$name.txt: not written"; continue; }
    while IFS=: read -r label tag kind; do
        want=$(exiftool -n -s3 -EXIF:"$tag" "$fixtures/$name.jpg")
        got=$(sed -n "s/^$label: //p" "$text")
        [ "$label" = description ] && got=$(head -1 "$text")
        count=$((count + 1))
        awk -v got="$got" -v want="$want" -v kind="$kind" 'BEGIN {
            if (kind == "text") exit !(got == substr(want, 1, 50));
            split(got, p, " / "); v = kind == "number" ? got : p[1] / p[2];
            if (kind == "aperture") v = exp(log(2) * v / 2);
            if (kind == "shutter") v = exp(-log(2) * v);
            d = v - want; exit !(got != "" && d * d <= 1e-12 * want * want) }' ||
            failed "$name $label: '$got', exiftool '$want'"
    done <<'FIELDS'
description:ImageDescription:text
make:Make:text
orientation:Orientation:number
pixel x dimension:ExifImageWidth:number
exposure time:ExposureTime:ratio
aperture value:ApertureValue:aperture
shutter speed:ShutterSpeedValue:shutter
FIELDS
done
finish
