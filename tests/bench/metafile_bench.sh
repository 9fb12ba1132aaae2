#!/usr/bin/env bash
# The preview of the sound metafiles among the test fixtures (the EMFs the
# fuzz fixtures make with pstoedit, and each as a placeable WMF), played in
# the program's process as before and through the metafile renderer as now.
# Prints each picture's best time both ways, the sums and their ratio
# (renderer / in process), and the renderer's start, once per run.
#
#   tests/bench/metafile_bench.sh [BUILD_DIR]    (default build/cmake; its
#                                                 fixtures made by ctest -R fixtures)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup metafile_bench "${1:-}"
fixtures=$(dirname "$exe")/../../fixtures/fuzz/emf
[ -d "$fixtures" ] || { echo "make the fixtures first: ctest -R fixtures" >&2; exit 1; }
args=()
for f in "$fixtures"/*.emf; do
    cp "$f" "$work/"
    args+=("Z:$work/$(basename "$f")")
done

run=()
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a -s "-screen 0 1280x1024x24")
lines=$("${run[@]}" wine "$exe" "${args[@]}" | tr -d '\r')

echo "sound metafiles of the fixtures, preview-sized ($(nproc) cores); seconds, best of 20"
printf '%-16s %10s %10s %7s\n' picture "in process" renderer ratio
for name in $(awk '/_inprocess /{sub(/_inprocess$/, "", $1); print $1}' <<< "$lines"); do
    before=$(awk -v k="${name}_inprocess" '$1 == k {print $2}' <<< "$lines")
    after=$(awk -v k="${name}_renderer" '$1 == k {print $2}' <<< "$lines")
    printf '%-16s %10.6f %10.6f %7.2f\n' "$name" "$before" "$after" "$(echo "$after / $before" | bc -l)"
done
echo "renderer start (once per run): $(awk '$1 == "renderer_start" {print $2}' <<< "$lines") s"
