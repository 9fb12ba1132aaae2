#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the viewer
# (the mingw-w64 cross compilers, CMake, Wine with 32-bit support, Xvfb and
# the independent image tools the tests compare against), then cross-builds
# the libraries. Each step is skipped when already done.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/apt_update.sh"

PACKAGES=(
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    mingw-w64-i686-dev cmake make dpkg-dev nasm wine wine32:i386 xvfb xauth xdotool
    x11-utils imagemagick netpbm libjpeg-turbo-progs libtiff-tools giflib-tools
    gcc liblcms2-dev pngcheck libopenjp2-tools jbigkit-bin libimage-exiftool-perl libwmf-bin fonts-urw-base35 bc perl
    pstoedit ghostscript libgdcm-tools
    fonts-wine fonts-liberation libfreetype6:i386 libfontconfig1:i386 libxrender1:i386
    libxcursor1:i386 libxrandr2:i386 libxi6:i386 libxinerama1:i386
    sox ffmpeg libasound2:i386 libasound2-plugins:i386
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
    cups printer-driver-cups-pdf libcups2:i386 poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Stops the set-up after failed updates, on the words to act on: which
# index failed, what cannot be installed without it, what to do.
stop_without_update() {
    {
        echo "bootstrap: apt-get update failed $APT_TRIES times on"
        sed 's/^/    /' <<< "$apt_failed"
        echo "and without it these packages cannot be installed:"
        echo "    $*"
        echo "retry later or use another mirror"
    } >&2
    exit 1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    updated=1
    if ! apt_update "$APT_TRIES" $SUDO apt-get update -qq; then
        updated=0
        # What decides is the install: an index it does not need stops
        # nothing, one it needs stops here, before anything is installed.
        if ! plan=$(apt-get install -s --no-install-recommends "${missing[@]}" 2>&1); then
            unresolved=$(sed -n -e 's/^ \{1,\}\([^ ]\{1,\}\) : .*/\1/p' \
                                -e 's/^E: Unable to locate package \(.*\)/\1/p' \
                                -e "s/^E: Package '\([^']*\)' has no installation candidate.*/\1/p" <<< "$plan" | sort -u)
            stop_without_update ${unresolved:-${missing[*]}}
        fi
        echo "bootstrap: going on without" $apt_failed "- the install resolves without it" >&2
    fi
    # Old lists can resolve the install and still name files the mirror no
    # longer has: a download that then fails is the failed update's fault.
    status=0
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || status=$?
    [ "$status" -eq 0 ] || [ "$updated" -eq 1 ] || stop_without_update "${missing[@]}"
    [ "$status" -eq 0 ] || exit "$status"
fi

"$ROOT/scripts/build_deps.sh" "$ROOT/build"
