#!/usr/bin/env bash
# The preview of the sound metafiles among the test fixtures (the EMFs the
# fuzz fixtures make with pstoedit, and the sound records of the hostile
# sets), played in the program's process as before and through the
# metafile renderer as now: each picture's best time both ways, the sums
# and their ratio (renderer / in process), and the renderer's start, once
# per run. Then the whole preview in the real program, from the file's
# selection to its preview painted; given the Corvane.exe of an earlier
# build (before the renderer), that program is timed the same way beside it.
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

run=()
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a -s "-screen 0 1280x1024x24")
export CORVANE_EXE=Z:$(dirname "$exe")/../../Corvane.exe
lines=$("${run[@]}" wine "$exe" "Z:$work" "${args[@]}" | tr -d '\r')
earlier=
if [ -n "${2:-}" ]; then
    earlier=$(CORVANE_EXE=Z:$(readlink -f "$2") "${run[@]}" wine "$exe" "Z:$work" "${args[@]}" | tr -d '\r' |
        grep '_program ')
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
