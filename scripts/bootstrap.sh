#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the viewer
# (the mingw-w64 cross compilers, CMake, Wine with 32-bit support, Xvfb and
# the independent image tools the tests compare against), then cross-builds
# the libraries. Each step is skipped when already done.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

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
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$ROOT/scripts/build_deps.sh" "$ROOT/build"
