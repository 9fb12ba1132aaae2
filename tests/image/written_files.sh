# Sourced by the check scripts of the image and format tests: the test-out
# folder ($1), a scratch folder, the failure and file counts, and the
# summary that fails when nothing was checked. A program that runs as
# several entries writes to a folder each ($1 $2 ...): they are seen as one,
# a scratch folder of links to their files.
set -euo pipefail
out=${1:?test output folder}
script=$(basename "$0" .sh)
fail=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob

failed() {  # message...
    echo "$script: $*" >&2
    fail=1
}

if [ $# -gt 1 ]; then
    out=$tmp/written
    mkdir "$out"
    for folder in "$@"; do
        for file in "$folder"/*; do
            name=$(basename "$file")
            if [ -e "$out/$name" ]; then
                failed "$name was written by two entries ($folder)"
            elif [ -f "$file" ]; then
                ln -s "$file" "$out/$name"
            fi
        done
    done
fi

# 8-bit samples of a picture as ImageMagick reads it (rgb or rgba).
samples() {  # picture output [rgb|rgba]
    /usr/bin/convert "$1" -depth 8 "${3:-rgb}:$2"
}

finish() {
    [ "$count" -gt 0 ] || failed "no written files in $out"
    [ "$fail" -eq 0 ] && echo "$script: $count files verified"
    exit "$fail"
}
