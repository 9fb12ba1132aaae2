# Sourced by the benchmark scripts: the test picture and the timing helpers.

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
