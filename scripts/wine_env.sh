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

# Printing goes to a private CUPS server with one PDF printer (cups-pdf),
# made the default before the first Wine process so that Wine takes it as
# its default printer. The PDFs land in build/printed, where the print
# checks read them. The server's own state lives in a scratch folder (its
# filters run as the lp user, who may not reach the build tree).
export CORVANE_PRINTED=$ROOT/build/printed
CUPS_DIR=
CUPSD_PID=
CUPS_PDF_CONF=

XVFB_PID=
WINE_STARTED=

start_printer() {
    [ -n "$CUPSD_PID" ] && return 0
    if ! command -v cupsd > /dev/null || [ ! -x /usr/lib/cups/backend/cups-pdf ] || [ ! -w /etc/cups ]; then
        echo "no PDF printer: it needs cups, printer-driver-cups-pdf and root (printing tests will fail)" >&2
        return 1
    fi
    CUPS_DIR=$(mktemp -d /tmp/corvane-cups.XXXXXX)
    chmod 755 "$CUPS_DIR"
    mkdir -p "$CUPS_DIR"/{etc,spool,cache,state,tmp,log}
    rm -rf "$CORVANE_PRINTED"
    mkdir -p "$CORVANE_PRINTED"
    export CUPS_SERVER=$CUPS_DIR/cups.sock
    printf '%s\n' "Listen $CUPS_SERVER" "LogLevel warn" "Browsing No" "WebInterface No" \
        "DefaultAuthType None" "<Location />" "Order allow,deny" "Allow all" "</Location>" \
        "<Policy default>" "<Limit All>" "Order deny,allow" "</Limit>" "</Policy>" \
        > "$CUPS_DIR/etc/cupsd.conf"
    printf '%s\n' "ServerRoot $CUPS_DIR/etc" "RequestRoot $CUPS_DIR/spool" "CacheDir $CUPS_DIR/cache" \
        "StateDir $CUPS_DIR/state" "TempDir $CUPS_DIR/tmp" "AccessLog $CUPS_DIR/log/access_log" \
        "ErrorLog $CUPS_DIR/log/error_log" "PageLog $CUPS_DIR/log/page_log" \
        > "$CUPS_DIR/etc/cups-files.conf"
    # cups-pdf reads an instance's settings from /etc/cups only; one instance
    # per checkout keeps parallel runs apart.
    local instance
    instance=corvane$(printf '%s' "$ROOT" | cksum | cut -d' ' -f1)
    CUPS_PDF_CONF=/etc/cups/cups-pdf-$instance.conf
    printf '%s\n' "Out $CORVANE_PRINTED" "Label 1" > "$CUPS_PDF_CONF"
    cupsd -f -c "$CUPS_DIR/etc/cupsd.conf" -s "$CUPS_DIR/etc/cups-files.conf" &
    CUPSD_PID=$!
    local _
    for _ in $(seq 1 100); do
        [ -S "$CUPS_SERVER" ] && break
        sleep 0.05
    done
    if ! lpadmin -p CorvanePDF -E -v "cups-pdf:/$instance" -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null ||
        ! lpadmin -d CorvanePDF; then
        echo "cannot set up the PDF printer (see $CUPS_DIR/log/error_log)" >&2
        return 1
    fi
}

stop_printer() {
    if [ -n "$CUPSD_PID" ]; then
        kill "$CUPSD_PID" 2>/dev/null || true
        wait "$CUPSD_PID" 2>/dev/null || true
        CUPSD_PID=
    fi
    [ -n "$CUPS_PDF_CONF" ] && rm -f "$CUPS_PDF_CONF"
    [ -n "$CUPS_DIR" ] && rm -rf "$CUPS_DIR"
    CUPS_PDF_CONF=
    CUPS_DIR=
}

start_display() {
    if [ -n "${CORVANE_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    # Xvfb picks a free display number itself and writes it once it takes
    # connections: displays started side by side (the end-to-end shards,
    # other checkouts) never take the same number.
    local number_file
    number_file=$(mktemp /tmp/corvane-display.XXXXXX)
    # No screen saver: after ten minutes without input it would blank
    # the screen the end-to-end tests capture.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -s 0 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    local _
    for _ in $(seq 1 300); do
        [ -s "$number_file" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    local n
    n=$(tr -dc 0-9 < "$number_file")
    rm -f "$number_file"
    if [ -n "$n" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
        export DISPLAY=":$n"
        return 0
    fi
    echo "cannot start Xvfb" >&2
    return 1
}

# The end-to-end shards run side by side (tests/e2e/run_shards.sh): one for
# each core this run may use and at least four, or CORVANE_E2E_SHARDS. A
# shard spends most of its time waiting for windows, so pinned to 2 cores 4
# shards end twice as soon as 2; beyond one a core, input posted to the
# windows of a busy machine comes late enough to make tests flaky.
e2e_shard_count() {
    local n=${CORVANE_E2E_SHARDS:-$(nproc)}
    [ "$n" -ge 1 ] 2>/dev/null || n=1
    [ -n "${CORVANE_E2E_SHARDS:-}" ] || [ "$n" -ge 4 ] || n=4
    echo "$n"
}

# Each shard's Wine prefix: a copy of the booted one, so each has its own
# server (windows, focus, foreground, settings file). Made before the
# test run's own server starts, so no copy takes a registry it is writing.
E2E_PREFIXES=$ROOT/build/wine-e2e

# A prefix copied from FROM to TO. The system folder (nine tenths of the
# prefix: the libraries Wine installed at boot, which nothing rewrites) is
# hard-linked, so the shards cost megabytes of disk, not gigabytes.
copy_prefix() {
    local from=$1 to=$2 system=drive_c/windows/system32
    mkdir -p "$to/drive_c/windows"
    cp -al "$from/$system" "$to/$system"
    (cd "$from" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -print0 |
        xargs -0 -I{} cp -a {} "$to/")
    (cd "$from/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -print0 |
        xargs -0 -I{} cp -a {} "$to/drive_c/")
    (cd "$from/drive_c/windows" && find . -mindepth 1 -maxdepth 1 ! -name system32 -print0 |
        xargs -0 -I{} cp -a {} "$to/drive_c/windows/")
}

make_shard_prefixes() {
    local count=$1 k copies=()
    rm -rf "$E2E_PREFIXES"
    mkdir -p "$E2E_PREFIXES"
    for k in $(seq 0 $((count - 1))); do
        copy_prefix "$WINEPREFIX" "$E2E_PREFIXES/$k" &
        copies+=($!)
    done
    wait "${copies[@]}"
}

# Each unit program's prefix (tests/run_apart.sh), copied when the program
# starts from a template made with the shards' copies: no server ever runs
# on the template, so no copy takes a registry half written.
ENTRY_PREFIXES=$ROOT/build/wine-entries

make_entry_template() {
    rm -rf "$ENTRY_PREFIXES"
    mkdir -p "$ENTRY_PREFIXES"
    copy_prefix "$WINEPREFIX" "$ENTRY_PREFIXES/template"
}

# A program's own display and persistent Wine server (an end-to-end shard's,
# a test entry's), in the prefix PREFIX, which is copied from FROM when it
# is not there yet. stop_all ends both.
start_own_wine() {  # prefix from
    unset CORVANE_USE_DISPLAY
    export WINEPREFIX=$1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$(dirname "$WINEPREFIX")" && copy_prefix "$2" "$WINEPREFIX" || return 1
    fi
    start_display || return 1
    wineserver -p
    WINE_STARTED=1
}

# The shards' servers, should a run cut short leave any behind.
stop_shard_servers() {
    local prefix
    for prefix in "$E2E_PREFIXES"/* "$ENTRY_PREFIXES"/entry-*; do
        [ -f "$prefix/system.reg" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    done
    return 0
}

# Makes the prefix when missing (with the printer already there, so that
# Wine takes it as its default).
boot_prefix() {
    start_printer || true
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}

# No window manager runs on the virtual displays, and Wine waits two seconds
# for one each time a window it left to a manager is hidden: every dialog
# closed. The programs named (by file name) get windows Wine places itself,
# in the running server's prefix; an owned window still carries the hint
# a manager would read.
unmanage_windows_of() {
    local reg name
    reg=$(mktemp /tmp/corvane-unmanaged.XXXXXX.reg)
    printf 'REGEDIT4\r\n\r\n' >"$reg"
    for name in "$@"; do
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\r\n"Managed"="N"\r\n\r\n' \
            "$name" >>"$reg"
    done
    wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 || true
    rm -f "$reg"
}

# The unit programs, in the booted prefix, from which their own prefixes
# are copied; the program itself keeps its setting there, where a user runs
# it (scripts/run_viewer.sh).
UNMANAGED=
unmanage_unit_programs() {
    [ -n "$UNMANAGED" ] && return 0
    UNMANAGED=1
    local exe names=()
    for exe in "$ROOT"/build/cmake/tests/*_tests.exe; do
        [ -e "$exe" ] && names+=("$(basename "$exe")")
    done
    [ ${#names[@]} -eq 0 ] || unmanage_windows_of "${names[@]}"
}

# The desktop process (explorer.exe /desktop) is started by the first
# program that needs it, takes that program's standard error and lives
# while any program runs. Started by a test program, it would hold that
# program's output open, and ctest would count the program running until
# the last test ended. A process of the script's own starts it first,
# with no output, and keeps it until stop_all: a pause whose input stays
# open.
KEEPER_FD=
keep_desktop() {
    local fifo
    fifo=$(mktemp -u /tmp/corvane-desktop.XXXXXX)
    mkfifo "$fifo"
    wine cmd /c pause <"$fifo" >/dev/null 2>&1 &
    exec {KEEPER_FD}>"$fifo"
    rm -f "$fifo"
}

# The booted prefix with every setting the copies need, written out: the
# server that wrote them has ended.
prepare_prefix() {
    boot_prefix
    unmanage_unit_programs
    wineserver -w
}

start_wine() {
    boot_prefix
    # A persistent server started before the first test spares every test
    # executable the server's start-up.
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true
    keep_desktop
    unmanage_unit_programs
    WINE_STARTED=1
}

stop_all() {
    if [ -n "$KEEPER_FD" ]; then
        exec {KEEPER_FD}>&-
        KEEPER_FD=
    fi
    if [ -n "$WINE_STARTED" ]; then
        wineserver -k >/dev/null 2>&1 || true
        WINE_STARTED=
    fi
    stop_printer
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
