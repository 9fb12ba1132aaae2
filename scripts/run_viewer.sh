#!/usr/bin/env bash
# Builds what is missing and starts the viewer under Wine, on the caller's
# display (or a virtual one when there is none), with an optional file.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/bootstrap.sh"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/wine_env.sh"
trap stop_all EXIT
if [ -n "${DISPLAY:-}" ]; then CORVANE_USE_DISPLAY=1; fi
start_display
start_wine
if [ -n "${1:-}" ]; then
    file=$(realpath "$1")
    cd "$(dirname "$file")"
    # Wine quotes an argument that holds blanks, as Windows would.
    wine "$ROOT/build/cmake/Corvane.exe" "$(winepath -w "$file")" || true
else
    wine "$ROOT/build/cmake/Corvane.exe" || true
fi
