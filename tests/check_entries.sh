#!/usr/bin/env bash
# A test program that runs as several ctest entries (tests/CMakeLists.txt)
# runs each of its tests in exactly one of them: names every test that no
# entry's filter takes, or that two take.
# Usage: check_entries.sh WINE PROGRAM FILTER...
set -euo pipefail
wine=${1:?wine} program=${2:?test program}
shift 2
[ $# -gt 0 ] || { echo "no filters given" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The full names of the tests a filter takes, one a line.
tests_of() {  # filter
    "$wine" "$program" --gtest_list_tests "--gtest_filter=$1" | tr -d '\r' |
        awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }'
}

tests_of '*' | sort > "$tmp/all"
[ -s "$tmp/all" ] || { echo "$program lists no tests" >&2; exit 1; }
for filter in "$@"; do
    tests_of "$filter"
done | sort > "$tmp/taken"
fail=0
while read -r name; do
    echo "no entry runs $name" >&2
    fail=1
done < <(comm -23 "$tmp/all" <(sort -u "$tmp/taken"))
while read -r name; do
    echo "two entries run $name" >&2
    fail=1
done < <(uniq -d "$tmp/taken")
[ "$fail" -eq 0 ] && echo "$(wc -l < "$tmp/all") tests, each in one of $# entries"
exit "$fail"
