#!/usr/bin/env bash
# Builds what is missing and runs every test (unit and end-to-end) under
# Wine on a virtual display.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
"$ROOT/scripts/bootstrap.sh"
# Names a missing or broken test tool before anything is built.
"$ROOT/scripts/check_tools.sh"
"$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine_env.sh"
trap 'stop_shard_servers || true; stop_all' EXIT
start_display
prepare_prefix
make_shard_prefixes "$(e2e_shard_count)"
make_entry_template
start_wine

status=0
ctest --test-dir "$ROOT/build/cmake" --timeout 600 --output-on-failure -j "${CTEST_JOBS:-$(nproc)}" "$@" || status=$?
exit $status
