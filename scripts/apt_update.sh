# Sourced by scripts/bootstrap.sh and scripts/build_deps.sh: an apt-get
# update that is tried again after a pause. A mirror caught mid-sync fails
# an index ("File has unexpected size ... Mirror sync in progress?") and
# usually serves it once it has synced. CORVANE_APT_TRIES (default 4) and
# CORVANE_APT_PAUSE (seconds, default 30) say how often and how far apart.
APT_TRIES=${CORVANE_APT_TRIES:-4}
APT_PAUSE=${CORVANE_APT_PAUSE:-30}

# apt_update TRIES COMMAND...: runs COMMAND, an apt-get update, up to TRIES
# times; 0 once it succeeds. Else 1, with what failed on the last try in
# apt_failed (the indexes apt could not fetch, one a line, or its errors
# when it names none).
apt_update() {
    local tries=$1 try out
    shift
    apt_failed=
    for ((try = 1; ; try++)); do
        if out=$("$@" 2>&1); then
            [ -z "$out" ] || printf '%s\n' "$out" >&2
            return 0
        fi
        apt_failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' <<< "$out")
        [ -n "$apt_failed" ] || apt_failed=$(grep '^E:' <<< "$out" || printf '%s' "$out")
        [ "$try" -lt "$tries" ] || return 1
        echo "apt-get update failed on:" $apt_failed "- trying again in $APT_PAUSE s ($((try + 1)) of $tries)" >&2
        sleep "$APT_PAUSE"
    done
}
