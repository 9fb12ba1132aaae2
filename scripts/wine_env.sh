# Sourced by the run and test scripts: a private 32-bit Wine prefix inside the
# build tree, and a virtual X display. What they start, they stop.
ROOT=${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=$ROOT/build/wine
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when the prefix is made, and no
# debugger attaching to a crashed test (it would wait for ever).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Sound goes to ALSA's null device: there is no sound card.
export ALSA_CONFIG_PATH=$ROOT/scripts/alsa_null.conf

XVFB_PID=
WINE_STARTED=

start_display() {
    if [ -n "${CORVANE_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    echo "cannot start Xvfb" >&2
    return 1
}

start_wine() {
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    # A persistent server started before the first test spares every test
    # executable the server's start-up.
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true
    WINE_STARTED=1
}

stop_all() {
    if [ -n "$WINE_STARTED" ]; then
        wineserver -k >/dev/null 2>&1 || true
        WINE_STARTED=
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
