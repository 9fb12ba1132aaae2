# Sourced by the benchmark scripts: the benchmark program and a work folder,
# the test picture, the timing helpers and the table of ratios.
convert=/usr/bin/convert

# bench_setup NAME [BUILD_DIR]: exe is the NAME benchmark of the build
# (default build/cmake), work a folder removed on exit; Wine runs from
# WINEPREFIX when set, else BUILD_DIR/../wine.
bench_setup() {
    local here build
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    build=$(cd "${2:-$here/../../build/cmake}" && pwd)
    exe=$build/tests/bench/$1.exe
    [ -f "$exe" ] || { echo "build $1 first: cmake --build $build --target $1" >&2; exit 1; }
    export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wine} WINEARCH=win32 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml="
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}

# make_photo FILE: a 6000 x 4000 PPM, smooth like a photograph, with fine
# noise so that it holds many distinct colours.
make_photo() {
    "$convert" -size 1500x1000 plasma:fractal -resize 6000x4000! -attenuate 0.3 \
        +noise Gaussian -depth 8 "ppm:$1"
}

seconds() {  # command...: wall time of the command in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

best_of() {  # n command...: the shortest of n runs
    local n=$1 best="" t
    shift
    for _ in $(seq "$n"); do
        t=$(seconds "$@")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

# best_lines n command...: runs a benchmark program n times and prints each
# of its "name seconds" lines once, with the shortest of the n times, in the
# order the program prints them.
best_lines() {
    local n=$1
    shift
    for _ in $(seq "$n"); do "$@" | tr -d '\r' || exit 1; done |
        awk '!($1 in best) { order[++k] = $1; best[$1] = $2 }
             $2 < best[$1] { best[$1] = $2 }
             END { for (i = 1; i <= k; ++i) print order[i], best[order[i]] }'
}

# print_ratios: reads our "name seconds" lines and prints each beside the
# caller's theirs[name] with the ratio ours / theirs (below 1: ours is faster).
print_ratios() {
    local name t them
    printf '%-20s %10s %10s %8s\n' operation ours_s theirs_s ratio
    while read -r name t; do
        them=${theirs[$name]}
        if [ "$(echo "$them < 0.001" | bc -l)" = 1 ]; then them=0.001; fi
        printf '%-20s %10.3f %10.3f %8.2f\n' "$name" "$t" "$them" "$(echo "$t / $them" | bc -l)"
    done
}
