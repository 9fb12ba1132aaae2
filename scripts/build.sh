#!/usr/bin/env bash
# Configures (once) and builds the viewer and its tests.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/cmake
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-mingw32.cmake" >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)"
