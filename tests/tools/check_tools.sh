#!/usr/bin/env bash
# The quarter turn and the turn-and-flip the image-tool tests wrote must
# match ImageMagick's own result on the same photo pixel for pixel.
set -euo pipefail
out=${1:?test output folder}
photo=$(cd "$out/../.." && pwd)/fixtures/tools/photo.ppm
status=0
for pair in "photo_cw90.ppm:-rotate 90" "photo_cw90_flip.ppm:-rotate 90 -flip"; do
    ours=$out/${pair%%:*}
    # shellcheck disable=SC2086
    ae=$(/usr/bin/convert "$photo" ${pair#*:} ppm:- | /usr/bin/compare -metric AE "$ours" - null: 2>&1 || true)
    if [ "$ae" != 0 ]; then
        echo "check_tools: $ours differs from convert ${pair#*:} in ${ae:-all} pixels" >&2
        status=1
    fi
done
exit $status
