#!/usr/bin/env bash
# Runs the end-to-end program in shards side by side (GoogleTest's own
# sharding: test i of the program's list goes to shard i mod N). Each shard
# has its own virtual display and its own Wine prefix and server (copies of
# the booted prefix, scripts/wine_env.sh), so no shard's windows, focus or
# foreground meet another's, and its own work and screenshot folders
# (WORK/shard-K, SHOTS/shard-K); the check scripts look across the work
# folders. CORVANE_E2E_SHARDS chooses the number of shards (default: one
# per core and at least four, scripts/wine_env.sh).
# Usage: run_shards.sh E2E_PROGRAM WORK_FOLDER SCREENSHOT_FOLDER
set -uo pipefail
program=${1:?e2e program} work=${2:?work folder} shots=${3:?screenshot folder}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
base_prefix=$WINEPREFIX
count=$(e2e_shard_count)

# Only this run's shards: a folder left by a run with more shards would
# hand the checks a second copy of a file.
rm -rf "$work"
mkdir -p "$work"
rm -rf "$shots"/shard-*

run_shard() {
    local k=$1
    trap stop_all EXIT
    trap 'exit 143' TERM INT
    # The prefix was made by the test run before its own server started; a
    # run by hand with more shards copies the rest now.
    start_own_wine "$E2E_PREFIXES/$k" "$base_prefix" || exit 1
    unmanage_windows_of Corvane.exe CorvaneRender.exe
    mkdir -p "$work/shard-$k" "$shots/shard-$k"
    GTEST_TOTAL_SHARDS=$count GTEST_SHARD_INDEX=$k \
        CORVANE_E2E_DIR="Z:$work/shard-$k" CORVANE_SCREENSHOTS="Z:$shots/shard-$k" \
        wine "$program" &
    # Waiting in the shell (not on a foreground child) lets a signal end it.
    wait $!
}

pids=()
for k in $(seq 0 $((count - 1))); do
    run_shard "$k" > "$work/shard-$k.log" 2>&1 &
    pids+=($!)
done
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}"; exit 143' TERM INT

status=0
codes=()
for k in $(seq 0 $((count - 1))); do
    code=0
    wait "${pids[$k]}" || code=$?
    codes+=($code)
done

# A shard's log as a terminal shows it: a line that a progress display
# rewrote ("\r   \r[  FAILED  ] ...") keeps only what follows its last
# carriage return, and the line ends lose theirs.
shown_log() {
    sed 's/\r$//; s/.*\r//' "$1"
}

ran=0
failures=()
for k in $(seq 0 $((count - 1))); do
    log=$work/shard-$k.log
    echo "===== e2e shard $k of $count (log: $log) ====="
    shown_log "$log"
    n=$(shown_log "$log" | sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' | tail -1)
    ran=$((ran + ${n:-0}))
    [ "${codes[$k]}" = 0 ] && continue
    status=1
    mapfile -t failed < <(shown_log "$log" | sed -n 's/^\[  FAILED  \] \([^ ,]*\).* ms)$/\1/p')
    # A test that started and never finished: the one the shard died in.
    unfinished=$(shown_log "$log" | awk '/^\[ RUN      \] / { test = $4; open = 1 }
        /^\[       OK \] |^\[  FAILED  \] |^\[  SKIPPED \] / { open = 0 }
        END { if (open) print test }')
    [ -n "$unfinished" ] && failed+=("$unfinished (did not finish)")
    [ ${#failed[@]} -gt 0 ] || failed=("(exit code ${codes[$k]}, no test named)")
    for t in "${failed[@]}"; do
        failures+=("shard $k of $count: $t (screenshots: $shots/shard-$k)")
    done
done

echo "===== e2e: $ran tests ran in $count shards ====="
for f in "${failures[@]}"; do
    echo "FAILED $f"
done
exit $status
