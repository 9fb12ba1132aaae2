#!/usr/bin/env bash
# Compares what the image-tool tests wrote with ImageMagick's own result on
# the same fixture: the quarter turn and the turn-and-flip must match it
# pixel for pixel.
set -euo pipefail
out=${1:?test output folder}
fixtures=$(cd "$out/../.." && pwd)/fixtures/tools
compare=/usr/bin/compare
convert=/usr/bin/convert
status=0

check() {  # our-file imagemagick-options...
    local ours=$out/$1; shift
    if [ ! -s "$ours" ]; then
        echo "check_tools: $ours is missing" >&2
        status=1
        return
    fi
    local theirs
    theirs=$(mktemp --suffix=.ppm)
    "$convert" "$fixtures/photo.ppm" "$@" "ppm:$theirs"
    local ae
    ae=$("$compare" -metric AE "$ours" "$theirs" null: 2>&1 || true)
    rm -f "$theirs"
    if [ "$ae" != "0" ]; then
        echo "check_tools: $(basename "$ours") differs from convert $* in $ae pixels" >&2
        status=1
    fi
}

check photo_cw90.ppm -rotate 90
check photo_cw90_flip.ppm -rotate 90 -flip
exit $status
