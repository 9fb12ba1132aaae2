#!/usr/bin/env bash
# The page e2e's print_test sent to the PDF printer, checked as the unit
# tests' pages are (tests/app/check_print.sh), from the shard that printed it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/shard_path.sh"
print_dir=$(shard_path "${1:?e2e work folder}" print)
exec bash "$here/../app/check_print.sh" "$print_dir" "^Animated_GIF_" "${2:?fixture folder}"
