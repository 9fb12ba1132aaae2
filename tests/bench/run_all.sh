#!/usr/bin/env bash
# Every benchmark table in one run: each tests/bench/*_bench.sh in turn,
# on the same build and machine, so the ratios can be set side by side.
#
#   tests/bench/run_all.sh [BUILD_DIR]    (default build/cmake)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/cmake}
status=0
for script in "$here"/*_bench.sh; do
    echo "== $(basename "$script" .sh)"
    bash "$script" "$build" || { echo "$(basename "$script") failed" >&2; status=1; }
    echo
done
exit $status
