#!/usr/bin/env bash
# Long runs of the mutation harness: scripts/fuzz.sh [SECONDS] [READER]
# feeds each reader (or the one named) mutated inputs for SECONDS each
# (default 60) under a fresh key (or FUZZ_KEY, to repeat a run), prints
# inputs per second per reader and every failure with the file it was
# written to. A crash, hang or damaged
# heap ends the harness process; the run goes on from the next index.
# FUZZ_JOBS=N runs N readers at a time, each with its own output folder
# ($out/READER) under the one Wine server.
# Replay a failure with:
#   CORVANE_TEST_OUT=Z:$PWD/build/fuzz-out/R wine build/cmake/tests/fuzz/corvane_fuzz.exe --reader R --key K --index I
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
seconds=${1:-60}
only=${2:-}

"$ROOT/scripts/bootstrap.sh"
"$ROOT/scripts/build.sh" >/dev/null
fixtures=$ROOT/build/cmake/fixtures
[ -d "$fixtures/fuzz" ] || bash "$ROOT/tests/fixtures/make_all.sh" "$fixtures" >/dev/null

source "$ROOT/scripts/wine_env.sh"
trap stop_all EXIT
start_display
start_wine

out=$ROOT/build/fuzz-out
mkdir -p "$out"
export CORVANE_FIXTURES=Z:$fixtures CORVANE_TEST_OUT=Z:$out
harness=$ROOT/build/cmake/tests/fuzz/corvane_fuzz.exe
key=${FUZZ_KEY:-$(( ($(date +%s%N) ^ RANDOM << 16) & 0x7FFFFFFFFFFF ))}
printf 'key %#x\n' "$key"

readers=$only
if [ -z "$readers" ]; then
    readers=$(sed -n 's/^ *{"\([A-Za-z0-9]*\)", .*/\1/p' "$ROOT/tests/fuzz/fuzz_readers.cpp")
fi

fuzz_reader() {  # reader output-folder: prints the failures it found last
    local reader=$1 out=$2 failures=0 start deadline left status log finished index name
    mkdir -p "$out"
    export CORVANE_TEST_OUT=Z:$out
    start=0
    deadline=$(( $(date +%s) + seconds ))
    while :; do
        left=$(( deadline - $(date +%s) ))
        [ "$left" -gt 0 ] || break
        status=0
        log=$(wine "$harness" --key "$key" --reader "$reader" --start "$start" --seconds "$left" 2>&1) || status=$?
        log=${log//$'\r'/}
        printf '%s\n' "$log" | grep -v '^key ' || true
        # A run that ended by itself closes with its totals line.
        finished=0
        grep -qE '^[0-9]+ inputs, [0-9]+ failures$' <<< "$log" && finished=1
        case $status$finished in
        01) break ;;
        11) failures=$((failures + $(printf '%s\n' "$log" | grep -c '^FAIL' || true))); break ;;
        *)
            failures=$((failures + 1))
            index=$(printf '%s\n' "$log" | sed -n 's/^FAIL .* index \([0-9]*\) .*/\1/p' | tail -1)
            if [ -z "$index" ] && [ -f "$out/work/current.txt" ]; then
                # Died where no guard could see it (the display connection
                # lost): the harness noted the input before running it.
                read -r _ _ index name < "$out/work/current.txt"
                mkdir -p "$out/failures"
                cp "$out/work/$name" "$out/failures/$reader-$(printf '%016x' "$key")-$index-died.${name##*.}"
                echo "FAIL died $reader key $(printf '%#x' "$key") index $index -> $out/failures/$reader-$(printf '%016x' "$key")-$index-died.${name##*.}"
            fi
            [ -n "$index" ] || break
            start=$((index + 1))
            ;;
        esac
    done
    echo "$failures"
}

jobs=${FUZZ_JOBS:-1}
pids=()
for reader in $readers; do
    if [ "$jobs" -le 1 ]; then
        fuzz_reader "$reader" "$out/$reader" > "$out/$reader.log" 2>&1
        sed '$d' "$out/$reader.log"
        continue
    fi
    fuzz_reader "$reader" "$out/$reader" > "$out/$reader.log" 2>&1 &
    pids+=($!)
    # Not a bare wait: the display and the printer are children too.
    if [ "${#pids[@]}" -ge "$jobs" ]; then
        wait "${pids[0]}" || true
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do wait "$pid" || true; done
failures=0
for reader in $readers; do
    [ "$jobs" -le 1 ] || sed '$d' "$out/$reader.log"
    failures=$((failures + $(tail -1 "$out/$reader.log")))
done
echo "failures: $failures (inputs in $out/READER/failures)"
[ "$failures" -eq 0 ]
