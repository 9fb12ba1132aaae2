#!/usr/bin/env bash
# The pages the printing tests sent to the test run's PDF printer: waits for
# one PDF per line of <folder>/print_jobs.txt (CR LF, written under Windows)
# among those whose names match the pattern, rasterises each with pdftoppm
# at the printer's resolution and compares it with the picture, placed and
# scaled as the mode says, sampled at the middle of each printed pixel, the
# rest of the page white.
set -euo pipefail
out=${1:?test output folder}
names=${2:-^(Bitmap|Enhanced_MetaFile|MetaFile)_}
jobs=$out/print_jobs.txt
fixtures=${3:-$(cd "$out/../.." && pwd)/fixtures}
here=$(cd "$(dirname "$0")" && pwd)
printed=${CORVANE_PRINTED:?the test run exports CORVANE_PRINTED (scripts/wine_env.sh)}
[ -s "$jobs" ] || { echo "check_print: no prints were noted" >&2; exit 1; }
expected=$(wc -l < "$jobs")

# cups-pdf names a file "<title>-job_<number>.pdf"; job numbers give the
# order. Wait for every job, then a little longer for any that should not be.
pdfs() { find "$printed" -name '*-job_*.pdf' -size +0 -printf '%f\n' | grep -E "$names" |
    sed -n 's/.*-job_\([0-9]*\)\.pdf$/\1 &/p' | sort -n | cut -d' ' -f2; }
for _ in $(seq 1 600); do
    [ "$(pdfs | wc -l)" -ge "$expected" ] && break
    sleep 0.1
done
sleep 1
mapfile -t files < <(pdfs)
if [ "${#files[@]}" -ne "$expected" ]; then
    echo "check_print: $expected prints noted, ${#files[@]} PDFs in $printed" >&2
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "check_print: job $n ($what $mode): $*" >&2; failures=$((failures + 1)); }

n=0
while read -r what mode pw ph dpix dpiy offx offy hsize vsize; do
    n=$((n + 1))
    pdf=$printed/${files[$n - 1]}
    page=$scratch/page$n.ppm
    pdftoppm -rx "$dpix" -ry "$dpiy" -singlefile "$pdf" "${page%.ppm}"
    case "$what" in
    emf-* | wmf-*)
        # Filled red and centred: an enhanced frame of w x h hundredths of a
        # millimetre, or a placeable box of w x h units at u per inch.
        IFS=x read -r sw sh su <<< "${what#?mf-}"
        if [ "${what%%-*}" = emf ]; then
            w=$(( sw * pw / (hsize * 100) )) h=$(( sh * ph / (vsize * 100) ))
        else
            w=$(( sw * dpix / su )) h=$(( sh * dpiy / su ))
        fi
        x=$(( offx + (pw - w) / 2 )) y=$(( offy + (ph - h) / 2 ))
        read -r tw th tx ty <<< "$(convert "$page" -trim -format '%w %h %X %Y' info: | tr -d +)"
        for pair in "$tw $w" "$th $h" "$tx $x" "$ty $y"; do
            set -- $pair
            tolerance=$(( 2 + $2 / 100 ))
            [ $(( $1 - $2 )) -le $tolerance ] && [ $(( $2 - $1 )) -le $tolerance ] || fail "red frame $tw x $th at $tx,$ty, expected $w x $h at $x,$y"
        done
        centre=$(convert "$page" -crop 1x1+$((x + w / 2))+$((y + h / 2)) -format '%[pixel:p]' info:)
        [ "$centre" = "srgb(255,0,0)" ] || [ "$centre" = "red" ] || fail "centre is $centre"
        continue
        ;;
    esac
    picture=$fixtures/$what
    read -r iw ih <<< "$(identify -format '%w %h\n' "$picture" | head -1)"
    # The scale of the program's print modes, for the page the printer gave.
    min=$(( pw < ph ? pw : ph ))
    if [ "$mode" = large ]; then
        s=$(( pw / iw < ph / ih ? pw / iw : ph / ih ))
    elif [ "$iw" -le 640 ] && [ "$ih" -le 640 ]; then
        s=$(( min / 640 ))
    else
        s=$(( min / (iw > ih ? iw : ih) ))
    fi
    [ "$s" -ge 1 ] || { fail "the picture does not fit this page at scale 1"; continue; }
    w=$(( iw * s )) h=$(( ih * s )) cols=1 rows=1
    [ "$mode" = tiled ] && cols=$(( pw / w )) rows=$(( ph / h ))
    x=$(( offx + (pw - cols * w) / 2 )) y=$(( offy + (ph - rows * h) / 2 ))
    # pdftoppm smooths a picture it enlarges less than four times: the
    # block is rasterised again at k times the resolution for sampling.
    k=$(( (s + 3) / s ))
    pdftoppm -rx $((dpix * k)) -ry $((dpiy * k)) -x $((x * k)) -y $((y * k)) -W $((cols * w * k)) \
        -H $((rows * h * k)) -singlefile "$pdf" "$scratch/block$n"
    convert "$scratch/block$n.ppm" -define sample:offset=50 \
        -sample $((cols * iw))x$((rows * ih))\! "$scratch/sampled$n.ppm"
    # A picture of several frames (an animation) matches when one frame does.
    for frame in $(seq 0 $(( $(identify "$picture" | wc -l) - 1 ))); do
        reference=$scratch/ref$n.ppm
        convert -size $((cols * iw))x$((ih * rows)) tile:"$picture[$frame]" "$reference"
        # Corrected from sRGB to the linked profile: the same conversion by ImageMagick.
        [ "${mode#normal-}" = "$mode" ] || convert "$reference" -profile "$here/../../resources/profiles/sRGB.icc" \
            -intent perceptual -profile "$out/${mode#normal-}" "$reference"
        differing=$(compare -metric AE -fuzz 3% "$scratch/sampled$n.ppm" "$reference" null: 2>&1 || true)
        [ "$differing" = 0 ] && break
    done
    [ "$differing" = 0 ] || fail "$differing of $((cols * iw * rows * ih)) sampled pixels differ from the picture"
    [ "$(convert "$page" -fill white -draw "rectangle $((x - 1)),$((y - 1)) $((x + cols * w)),$((y + rows * h))" \
        -format '%[fx:minima]' info:)" = 1 ] || fail "marks outside the $((cols * w)) x $((rows * h)) block at $x,$y"
done < <(tr -d '\r' < "$jobs")

[ "$failures" = 0 ] || exit 1
echo "check_print: $expected printed pages match their pictures"
