# Sourced by the end-to-end checks. The run's work folder holds one folder
# per shard (tests/e2e/run_shards.sh); what a check judges lies in the one
# shard that ran the test which wrote it.
# shard_path WORK PATH: WORK/shard-K/PATH of that shard; fails when no
# shard or more than one has it.
shard_path() {
    local found=() candidate
    for candidate in "$1"/shard-*/"$2"; do
        [ -e "$candidate" ] && found+=("$candidate")
    done
    if [ ${#found[@]} -ne 1 ]; then
        echo "FAIL $2: in ${#found[@]} shard folders of $1, not one" >&2
        return 1
    fi
    echo "${found[0]}"
}
