#!/usr/bin/env bash
# Runs one test program under Wine on a virtual display and a Wine server
# of its own, in a copy of the booted prefix (scripts/wine_env.sh), as an
# end-to-end shard runs. The programs of a test run go side by side; on one
# display and server a window of one lay over another's and was painted
# into or read back through, one program's clipboard, focus and foreground
# changes reached the others, and the X requests of one program's windows
# could end another with an X error.
# Usage: run_apart.sh ENTRY PROGRAM [ARGUMENT...]
set -uo pipefail
entry=${1:?ctest entry name}
shift
[ $# -gt 0 ] || { echo "no program given" >&2; exit 2; }
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/wine_env.sh"

# A fresh copy of the template the test run made before its own server
# started; a run of ctest by hand without one copies the booted prefix.
from=$ENTRY_PREFIXES/template
[ -f "$from/system.reg" ] || from=$WINEPREFIX
rm -rf "$ENTRY_PREFIXES/entry-$entry"

trap stop_all EXIT
trap 'exit 143' TERM INT
start_own_wine "$ENTRY_PREFIXES/entry-$entry" "$from" || exit 1
keep_desktop
wine "$@" &
# Waiting in the shell (not on a foreground child) lets a signal end it.
wait $!
