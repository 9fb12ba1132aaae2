#!/usr/bin/env bash
# The preview of the sound metafiles among the test fixtures (the EMFs the
# fuzz fixtures make with pstoedit, and the sound records of the hostile
# sets), played in the program's process as before and through the
# metafile renderer as now: each picture's best time both ways, the sums
# and their ratio (renderer / in process), and the renderer's start, once
# per run. Then the whole preview in the real program, from the file's
# selection to its preview painted; given the Corvane.exe of an earlier
# build (before the renderer), that program is timed the same way beside it.
# Last, a slow picture (one inverted region of SLOW_RECTS staggered
# rectangles, whose play takes seconds) is shown in the preview and the
# image window, and a repaint of each at the same size is timed: what a
# bitmap's repaint costs when the window repaints from the pixels it kept,
# a whole play when it plays again.
#
#   tests/bench/metafile_bench.sh [BUILD_DIR [EARLIER_EXE]]
#       (default build/cmake, its fixtures made by ctest -R fixtures)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup metafile_bench "${1:-}"
fixtures=$(dirname "$exe")/../../fixtures
[ -d "$fixtures/fuzz/emf" ] || { echo "make the fixtures first: ctest -R fixtures" >&2; exit 1; }
sound=(fuzz/emf/shapes.emf fuzz/emf/text.emf fuzz/emf/image.emf)
for name in alphablend bitblt fill-region gradientfill maskblt monobrush palette poly-text stretchdibits; do
    sound+=("hostile/EMF-$name.emf")
done
for name in dibbitblt dibpatternbrush dibstretchblt stretchdib; do
    sound+=("hostile/WMF-$name.wmf")
done
args=()
for f in "${sound[@]}"; do
    cp "$fixtures/$f" "$work/"
    args+=("$(basename "$f")")
done
"$convert" -size 8x8 xc:gray "bmp3:$work/tiny.bmp"

# Rectangles a pixel wide, each a row lower and two pixels further right:
# the player joins them into the region one at a time, each join walking
# all the bands so far, so that a play takes about n squared. The repaints
# timed below are of a picture played whole: from SLOW_RECTS down, the
# count is cut by 0.7 (about half the time) until one play through the
# renderer is whole within SLOW_SECONDS, half the renderer's 5 s limit.
SLOW_RECTS=${SLOW_RECTS:-1000}
SLOW_SECONDS=${SLOW_SECONDS:-2.5}
make_slow() {
/usr/bin/perl - "$work/slow.emf" "$1" <<'PERL'
use strict;
use warnings;
my ($path, $n) = @ARGV;
sub record { my ($type, $body) = @_; pack('VV', $type, 8 + length $body) . $body }
my @rects = map { pack('l<4', 2 * $_, $_, 2 * $_ + 1, $_ + $n) } 0 .. $n - 1;
my $region = pack('VVVV', 32, 1, $n, 16 * $n) . pack('l<4', 0, 0, 2 * $n, 2 * $n) . join('', @rects);
my $body = record(73, pack('l<4', 0, 0, 300, 300) . pack('V', length $region) . $region)
    . record(14, pack('VVV', 0, 16, 20));
# A frame of 300 reference pixels (0.3125 mm each on a 1024 x 768 pixel,
# 320 x 240 mm device), in 0.01 mm.
my $frame = int(300 * 31.25);
open my $f, '>:raw', $path or die "$path: $!";
print $f pack('VV', 1, 88) . pack('l<4', 0, 0, 300, 300) . pack('l<4', 0, 0, $frame, $frame)
    . pack('VVVVvvVVV', 0x464D4520, 0x10000, 88 + length $body, 3, 1, 0, 0, 0, 0)
    . pack('l<2', 1024, 768) . pack('l<2', 320, 240) . $body;
close $f;
PERL
}

run=()
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a -s "-screen 0 1280x1024x24")
while :; do
    make_slow "$SLOW_RECTS"
    read -r _ slow_seconds slow_outcome < <("${run[@]}" wine "$exe" --play "Z:$work" slow.emf | tr -d '\r') || true
    [ "$slow_outcome" = whole ] && [ "$(echo "$slow_seconds <= $SLOW_SECONDS" | bc -l)" = 1 ] && break
    [ "$SLOW_RECTS" -gt 50 ] || { echo "no slow picture plays whole here" >&2; exit 1; }
    SLOW_RECTS=$((SLOW_RECTS * 7 / 10))
done
export CORVANE_EXE=Z:$(dirname "$exe")/../../Corvane.exe
lines=$("${run[@]}" wine "$exe" "Z:$work" "${args[@]}" | tr -d '\r')
earlier=
if [ -n "${2:-}" ]; then
    earlier=$(CORVANE_EXE=Z:$(readlink -f "$2") "${run[@]}" wine "$exe" "Z:$work" "${args[@]}" | tr -d '\r' |
        grep -E '_(program|repaint) ')
fi

echo "sound metafiles of the fixtures, preview-sized ($(nproc) cores); seconds, best of 20"
printf '%-22s %10s %10s %7s\n' picture "in process" renderer ratio
for name in $(awk '/_inprocess /{sub(/_inprocess$/, "", $1); print $1}' <<< "$lines"); do
    before=$(awk -v k="${name}_inprocess" '$1 == k {print $2}' <<< "$lines")
    after=$(awk -v k="${name}_renderer" '$1 == k {print $2}' <<< "$lines")
    printf '%-22s %10.6f %10.6f %7.2f\n' "$name" "$before" "$after" "$(echo "$after / $before" | bc -l)"
done
echo "renderer start (once per run): $(awk '$1 == "renderer_start" {print $2}' <<< "$lines") s"
echo
echo "the whole preview in the program, from selection to painted; seconds, best of 5"
printf '%-22s %10s %10s %7s\n' picture earlier now ratio
for name in $(awk '/_program /{sub(/_program$/, "", $1); print $1}' <<< "$lines"); do
    now=$(awk -v k="${name}_program" '$1 == k {print $2}' <<< "$lines")
    if [ -n "$earlier" ]; then
        before=$(awk -v k="${name}_program" '$1 == k {print $2}' <<< "$earlier")
        printf '%-22s %10.6f %10.6f %7.2f\n' "$name" "$before" "$now" "$(echo "$now / $before" | bc -l)"
    else
        printf '%-22s %10s %10.6f\n' "$name" - "$now"
    fi
done
echo
echo "a slow picture ($SLOW_RECTS inverted staggered rectangles, played whole in $slow_seconds s) repainted at the same size; seconds, best of 5"
printf '%-22s %10s %10s\n' window earlier now
for name in $(awk '/_repaint /{print $1}' <<< "$lines"); do
    now=$(awk -v k="$name" '$1 == k {print $2}' <<< "$lines")
    before=-
    [ -n "$earlier" ] && before=$(awk -v k="$name" '$1 == k {printf "%.6f", $2}' <<< "$earlier")
    printf '%-22s %10s %10.6f\n' "${name%_repaint}" "$before" "$now"
done
