#!/usr/bin/env bash
# The bootstrap's answer to an apt-get update that fails on an index, as a
# mirror caught mid-sync makes it: retried, then judged by whether the
# install resolves. apt-get, dpkg, dpkg-query and sudo are stubs on the
# PATH (nothing real is updated or installed) and the copy of the scripts
# run has a build_deps.sh that only notes it was reached.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/root/scripts" "$work/bin"
cp "$ROOT"/scripts/*.sh "$work/root/scripts/"
stub() { cat > "$work/$1"; chmod +x "$work/$1"; }
stub root/scripts/build_deps.sh <<'EOF'
#!/bin/sh
echo deps >> "$STUB_LOG"
EOF
stub bin/sudo <<'EOF'
#!/bin/sh
exec "$@"
EOF
stub bin/dpkg <<'EOF'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && echo i386 && exit 0
echo "dpkg $*" >> "$STUB_LOG"
EOF
# Everything is installed but wine32:i386.
stub bin/dpkg-query <<'EOF'
#!/bin/sh
for last; do :; done
[ "$last" = wine32:i386 ] && exit 1
printf 'install ok installed'
EOF
# update fails STUB_UPDATE_FAILS times on the security i386 index; the
# simulated install resolves when STUB_RESOLVES is 1 or 2, and with 2 the
# real one then meets a 404, as old lists make it.
stub bin/apt-get <<'EOF'
#!/bin/sh
case " $* " in
*" update "*)
    echo update >> "$STUB_LOG"
    [ "$(grep -c '^update$' "$STUB_LOG")" -gt "$STUB_UPDATE_FAILS" ] && exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
*" -s "*)
    echo simulate >> "$STUB_LOG"
    [ "$STUB_RESOLVES" != 0 ] && echo "Inst wine32:i386 (8.0~repack-4 Debian:12.8/stable [i386])" && exit 0
    echo "Some packages could not be installed."
    echo "The following packages have unmet dependencies:"
    echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
*" install "*)
    echo "install $*" >> "$STUB_LOG"
    [ "$STUB_RESOLVES" = 2 ] || exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0~repack-4_i386.deb  404  Not Found" >&2
    exit 100 ;;
esac
EOF
stub bin/apt-cache <<'EOF'
#!/bin/sh
echo showsrc >> "$STUB_LOG"
EOF

failures=0
# run_case NAME UPDATE_FAILS RESOLVES EXPECTED_EXIT EXPECTED_LOG: runs the
# bootstrap with 3 tries and no pause; its stderr is left in $work/err.
run_case() {
    local name=$1 log
    : > "$work/log"
    local status=0
    STUB_LOG=$work/log STUB_UPDATE_FAILS=$2 STUB_RESOLVES=$3 CORVANE_APT_TRIES=3 CORVANE_APT_PAUSE=0 \
        PATH="$work/bin:$PATH" bash "$work/root/scripts/bootstrap.sh" > /dev/null 2> "$work/err" || status=$?
    log=$(sed 's/^install .*-y.*wine32:i386$/install wine32:i386/' "$work/log" | tr '\n' ' ')
    if [ "$status" -ne "$4" ] || [ "$log" != "$5" ]; then
        echo "FAIL $name: exit $status (expected $4), steps: $log(expected $5)" >&2
        sed 's/^/    /' "$work/err" >&2
        failures=$((failures + 1))
    fi
}

run_case "update fails once, then succeeds" 1 0 0 "update update install wine32:i386 deps "
run_case "update keeps failing, the install resolves" 99 1 0 "update update update simulate install wine32:i386 deps "
# A set-up stopped by a failed update ends on one message: what failed,
# what is missing, what to do.
check_message() {
    local message text
    message=$(sed -n '/^bootstrap: apt-get update failed/,$p' "$work/err")
    for text in "binary-i386/Packages.xz" "wine32:i386" "retry later or use another mirror"; do
        if ! grep -q -F -- "$text" <<< "$message" || [ "$(grep -c -F -- "retry later" "$work/err")" -ne 1 ]; then
            echo "FAIL $1: the message lacks \"$text\", or the advice is given more than once:" >&2
            sed 's/^/    /' "$work/err" >&2
            failures=$((failures + 1))
        fi
    done
}
run_case "update keeps failing, the install cannot resolve" 99 0 1 "update update update simulate "
check_message "unresolved"
run_case "update keeps failing, the install resolves, its download fails" 99 2 1 \
    "update update update simulate install wine32:i386 "
check_message "download failed"

# build_deps.sh's own update of the source lists (apt-cache stands for
# what comes after it): with old lists one try, then on with them; with
# none every try, then a stop that says what to do.
for lists in old none; do
    rm -rf "$work/build"
    if [ $lists = old ]; then
        mkdir -p "$work/build/deps/apt/lists" && touch -d '2 days ago' "$work/build/deps/apt/lists/old_Sources"
    fi
    : > "$work/log"
    status=0
    STUB_LOG=$work/log STUB_UPDATE_FAILS=99 CORVANE_APT_TRIES=3 CORVANE_APT_PAUSE=0 PATH="$work/bin:$PATH" \
        bash "$ROOT/scripts/build_deps.sh" "$work/build" > "$work/out" 2> "$work/err" || status=$?
    steps=$(awk '$0 != "showsrc" || !seen++' "$work/log" | tr '\n' ' ')
    expected="update showsrc "
    [ $lists = old ] || expected="update update update "
    if [ "$steps" != "$expected" ] || grep -q "dependencies ready" "$work/out" || [ $status -eq 0 ] ||
        ! grep -q -F "$([ $lists = old ] && echo "using the source lists there are" || echo "retry later")" "$work/err"; then
        echo "FAIL build_deps with $lists source lists: exit $status, steps: $steps(expected $expected)" >&2
        sed 's/^/    /' "$work/err" >&2
        failures=$((failures + 1))
    fi
done

[ "$failures" -eq 0 ] && echo "bootstrap: all cases pass"
exit "$failures"
