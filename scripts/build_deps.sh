#!/usr/bin/env bash
# Cross-builds the libraries the viewer links, from Debian source packages,
# into a prefix inside the build tree, all static. Each library has a stamp
# naming its source version, its options and the stamps of what it links,
# so a rerun that finds its prefix ready does nothing.
#
# Libraries: googletest, zlib, liblzma, the IJG libjpeg 6b with the lossless
# patch (from dcmtk) as an 8-bit and a 12-bit build, libjpeg-turbo (8-bit
# DCT JPEG with SIMD), JBIG-KIT, libtiff (dual 8/12-bit JPEG: 8-bit on
# libjpeg-turbo, with a second 8-bit codec on the IJG build for lossless
# data, 12-bit on the IJG 12-bit build), libpng, Little CMS 2, OpenJPEG 2.
# Small shims of our own for them live in scripts/deps/. cmake/deps.cmake
# turns the result into imported targets.
#
# usage: scripts/build_deps.sh [BUILD_DIR]   (default: build)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/apt_update.sh"
BUILD=$(realpath -m "${1:-$ROOT/build}")
DEPS=$BUILD/deps
PREFIX=$DEPS/prefix
SRC=$DEPS/src
STAMPS=$DEPS/stamps
LOGS=$DEPS/logs
APT=$DEPS/apt
SHIMS=$ROOT/scripts/deps
TOOLCHAIN=$ROOT/cmake/toolchain-i686-mingw32.cmake
HOST=i686-w64-mingw32
JOBS=$(nproc)
export CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib
# Same floating-point code as the program (see CMakeLists.txt).
OPT_CFLAGS="-O2 -msse2 -mfpmath=sse"

mkdir -p "$PREFIX/include" "$PREFIX/lib" "$SRC" "$STAMPS" "$LOGS"

# --- apt configuration of our own: deb-src lines for the machine's suites,
# without touching the machine's apt setup. The lists are refreshed at most
# once a day, so a rerun needs no network.
apt_opts=(-o "Dir::Etc::SourceList=$APT/sources.list"
          -o "Dir::Etc::SourceParts=$APT/sources.list.d"
          -o "Dir::State::Lists=$APT/lists"
          -o "Dir::Cache::Archives=$APT/archives"
          -o "APT::Get::List-Cleanup=0")
setup_apt() {
    mkdir -p "$APT/lists/partial" "$APT/archives/partial" "$APT/sources.list.d"
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    cat > "$APT/sources.list.new" <<LIST
deb-src http://deb.debian.org/debian $codename main
deb-src http://deb.debian.org/debian $codename-updates main
deb-src http://deb.debian.org/debian-security $codename-security main
LIST
    if cmp -s "$APT/sources.list.new" "$APT/sources.list" \
       && [ -n "$(find "$APT/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 -print -quit)" ]; then
        rm -f "$APT/sources.list.new"
        return 0
    fi
    mv "$APT/sources.list.new" "$APT/sources.list"
    # Old lists still name versions whose sources we may have already: with
    # them one try will do; without them the mirror is given time to sync.
    local tries=$APT_TRIES
    ls "$APT/lists/"*Sources* >/dev/null 2>&1 && tries=1
    if ! apt_update "$tries" apt-get "${apt_opts[@]}" update -qq; then
        if ! ls "$APT/lists/"*Sources* >/dev/null 2>&1; then
            {
                echo "build_deps: apt-get update of the source lists failed $tries times on"
                sed 's/^/    /' <<< "$apt_failed"
                echo "and there are no source lists to use; retry later or use another mirror"
            } >&2
            return 1
        fi
        echo "warning: apt-get update failed on" $apt_failed "- using the source lists there are" >&2
    fi
}

# Source folders live in $SRC/PACKAGE/VERSION/ (one upstream version can
# come in several Debian revisions). $SRC/PACKAGE/VERSION.dir names the
# unpacked folder; $SRC/PACKAGE/VERSION.failed marks a version that could
# not be downloaded (security uploads are sometimes missing).
version_dir() { echo "$SRC/$1/${2//:/_}"; }

# resolve_version PACKAGE: the version fetch_source uses, found without the
# network: the newest one not known to be missing.
resolve_version() {
    local pkg=$1 ver d
    for ver in $(apt-cache "${apt_opts[@]}" showsrc "$pkg" 2>/dev/null \
                 | awk '/^Version:/ {print $2}' | sort -rV | uniq); do
        d=$(version_dir "$pkg" "$ver")
        [ -f "$d.failed" ] && continue
        echo "$ver"
        return 0
    done
    echo "no source version of $pkg is available" >&2
    return 1
}

# fetch_source PACKAGE: unpacks the resolved version of PACKAGE and prints
# its folder; a version that cannot be downloaded is marked and the next
# older one tried.
fetch_source() {
    local pkg=$1 ver d lock
    # Two libraries can come from one package (dcmtk): one fetch at a time.
    exec {lock}>"$SRC/.$pkg.lock"
    flock "$lock"
    while ver=$(resolve_version "$pkg"); do
        d=$(version_dir "$pkg" "$ver")
        if [ -f "$d.dir" ] && [ -d "$(cat "$d.dir")" ]; then cat "$d.dir"; return 0; fi
        rm -rf "$d"; mkdir -p "$d"
        if (cd "$d" && apt-get "${apt_opts[@]}" source -qq "$pkg=$ver" >&2); then
            ls -d "$d"/*/ | head -n 1 | sed 's:/$::' > "$d.dir"
            cat "$d.dir"
            return 0
        fi
        echo "source $pkg $ver cannot be downloaded, trying an older one" >&2
        rm -rf "$d"; touch "$d.failed"
    done
    return 1
}

is_done()    { [ -f "$STAMPS/$1" ] && [ "$(cat "$STAMPS/$1")" = "$2" ]; }
done_stamp() { echo "$2" > "$STAMPS/$1"; }
# Checksum of files (our shims) and of stamps of libraries linked in, so a
# change to either rebuilds what depends on it.
files_sum()  { cat "$@" | md5sum | cut -c1-12; }
stamps_sum() { (cd "$STAMPS" && cat "$@") | md5sum | cut -c1-12; }

cmake_build() { # cmake_build SRC_DIR BUILD_DIR [cmake args...]
    local s=$1 b=$2; shift 2
    rm -rf "$b"
    cmake -S "$s" -B "$b" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_FIND_ROOT_PATH="$PREFIX;/usr/$HOST" \
        -DBUILD_SHARED_LIBS=OFF "$@"
    cmake --build "$b" -j "$JOBS"
    cmake --install "$b"
}

# cc_archive LIB.a OBJ_DIR "CFLAGS" SOURCES...: compiles the sources in
# parallel and archives them (for libraries whose own build is awkward to
# cross-run and that need no configuration).
cc_archive() {
    local lib=$1 obj=$2 flags=$3; shift 3
    rm -rf "$obj"; mkdir -p "$obj"
    printf '%s\n' "$@" | OBJ=$obj FLAGS=$flags xargs -P "$JOBS" -n 1 sh -c \
        'set -e; o="$OBJ/$(basename "$1" .c).o"; echo "$CC $FLAGS -c $1"; $CC $FLAGS -c "$1" -o "$o"' sh
    rm -f "$lib"
    $AR rcs "$lib" "$obj"/*.o
}

# ---------------------------------------------------------------- libraries
# Each build_NAME SRC_DIR builds and installs one library; KEY_NAME holds
# its options, without the version, for the stamp.

build_googletest() {
    cmake_build "$1" "$DEPS/build-googletest/b" -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON
}

build_zlib() {
    local s=$1 f
    local files=()
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback \
             inffast inflate inftrees trees uncompr zutil; do files+=("$s/$f.c"); done
    cc_archive "$PREFIX/lib/libz.a" "$DEPS/build-zlib" "$OPT_CFLAGS" "${files[@]}"
    install -m 644 "$s/zlib.h" "$s/zconf.h" "$PREFIX/include/"
}

build_lzma() {
    # No tools; CMAKE_HAVE_PTHREAD_H=OFF makes liblzma use its own Windows
    # (XP-compatible) threads instead of winpthreads.
    cmake_build "$1" "$DEPS/build-lzma" -DCMAKE_C_FLAGS="$OPT_CFLAGS" \
        -DHAVE_GETOPT_LONG=OFF -DCMAKE_HAVE_PTHREAD_H=OFF
}

# build_ijg BITS SRC_DIR: dcmtk's libijg8 / libijg12. Their headers rename
# every function (jpeg8_*, jpeg12_*); the one data symbol jaritab is renamed
# here, so both link into one program.
build_ijg() {
    local bits=$1 dir=$2/dcmjpeg/libijg$1 f
    local files=()
    for f in $(sed -n 's/^ *\(j[a-z0-9]*\.c\) *$/\1/p' "$dir/CMakeLists.txt"); do files+=("$dir/$f"); done
    [ ${#files[@]} -gt 50 ] || { echo "unexpected source list in $dir/CMakeLists.txt" >&2; return 1; }
    cc_archive "$PREFIX/lib/libijg$bits.a" "$DEPS/build-ijg$bits" \
        "$OPT_CFLAGS -I$SHIMS/ijg -Djaritab=jaritab$bits" "${files[@]}"
    local inc=$PREFIX/include/ijg$bits
    rm -rf "$inc"; mkdir -p "$inc/dcmtk/config" "$inc/dcmtk/ofstd"
    for f in jpeglib jconfig jmorecfg jerror; do install -m 644 "$dir/$f$bits.h" "$inc/"; done
    install -m 644 "$SHIMS/ijg/dcmtk/config/osconfig.h" "$inc/dcmtk/config/"
    install -m 644 "$SHIMS/ijg/dcmtk/ofstd/ofexport.h" "$inc/dcmtk/ofstd/"
}
build_ijg8()  { build_ijg 8 "$1"; }
build_ijg12() { build_ijg 12 "$1"; }

# libjpeg-turbo: the static library alone (its tools are not built), SIMD
# required (NASM). Headers go to include/turbo and the library is named
# libjpegturbo.a, so neither can be taken for the IJG builds' or libtiff's
# <jpeglib.h>. Its symbols keep the plain jpeg_* names, which the renamed
# IJG builds leave free.
build_turbo() {
    local s=$1 b=$DEPS/build-turbo
    rm -rf "$b"
    cmake -S "$s" -B "$b" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_C_FLAGS="$OPT_CFLAGS" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_ARITH_DEC=ON -DWITH_ARITH_ENC=ON -DWITH_JPEG8=OFF \
        -DWITH_12BIT=OFF -DCMAKE_ASM_NASM_COMPILER=nasm
    cmake --build "$b" -j "$JOBS" --target jpeg-static
    local inc=$PREFIX/include/turbo
    rm -rf "$inc"; mkdir -p "$inc"
    install -m 644 "$s/jpeglib.h" "$s/jmorecfg.h" "$s/jerror.h" "$b/jconfig.h" "$inc/"
    install -m 644 "$b/libjpeg.a" "$PREFIX/lib/libjpegturbo.a"
}

build_jbig() {
    local s=$1/libjbig
    cc_archive "$PREFIX/lib/libjbig.a" "$DEPS/build-jbig" "$OPT_CFLAGS" "$s/jbig.c" "$s/jbig_ar.c"
    install -m 644 "$s/jbig.h" "$s/jbig_ar.h" "$PREFIX/include/"
}

build_lcms2() {
    local s=$1
    cc_archive "$PREFIX/lib/liblcms2.a" "$DEPS/build-lcms2" "$OPT_CFLAGS -I$s/include" "$s"/src/*.c
    install -m 644 "$s/include/lcms2.h" "$s/include/lcms2_plugin.h" "$PREFIX/include/"
}

build_openjp2() {
    # Library only, single-threaded like the program.
    cmake_build "$1" "$DEPS/build-openjp2" -DCMAKE_C_FLAGS="$OPT_CFLAGS" \
        -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF -DBUILD_DOC=OFF -DBUILD_TESTING=OFF \
        -DBUILD_PKGCONFIG_FILES=OFF -DOPJ_USE_THREAD=OFF
}

build_png() {
    cmake_build "$1" "$DEPS/build-png" -DCMAKE_C_FLAGS="$OPT_CFLAGS" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
        -DZLIB_LIBRARY="$PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PREFIX/include"
}

build_tiff() {
    # Dual 8/12-bit JPEG: libtiff's <jpeglib.h> and <jerror.h> come from
    # scripts/deps/tiff and pick the library by unit: libjpeg-turbo for
    # 8-bit JPEG, the IJG 12-bit build for 12-bit JPEG. Every library is
    # named explicitly so nothing of the machine's mingw tree is picked up.
    cmake_build "$1" "$DEPS/build-tiff" \
        -DCMAKE_C_FLAGS="$OPT_CFLAGS -I$PREFIX/include -DLZMA_API_STATIC" \
        -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
        -Dwebp=OFF -Dzstd=OFF -Dlerc=OFF -Dlibdeflate=OFF \
        -Dzlib=ON -DZLIB_LIBRARY="$PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PREFIX/include" \
        -Dlzma=ON -DLIBLZMA_LIBRARY="$PREFIX/lib/liblzma.a" -DLIBLZMA_INCLUDE_DIR="$PREFIX/include" \
        -Djbig=ON -DJBIG_LIBRARY="$PREFIX/lib/libjbig.a" -DJBIG_INCLUDE_DIR="$PREFIX/include" \
        -Djpeg=ON -DJPEG_LIBRARY="$PREFIX/lib/libjpegturbo.a" -DJPEG_INCLUDE_DIR="$SHIMS/tiff" \
        -Djpeg12=ON -DJPEG12_LIBRARY="$PREFIX/lib/libijg12.a" -DJPEG12_INCLUDE_DIR="$SHIMS/tiff" \
        -DHAVE_JPEGTURBO_DUAL_MODE_8_12=OFF
    grep -q '^#define JPEG_DUAL_MODE_8_12' "$DEPS/build-tiff/libtiff/tif_config.h" \
        || { echo "libtiff was configured without dual 8/12-bit JPEG" >&2; return 1; }
    # The 8-bit codec once more on the IJG 8-bit build (renamed
    # TIFFInitJPEG_ijg8), for lossless JPEG data, which turbo cannot read.
    local o=$DEPS/build-tiff/tif_jpeg_ijg8.o
    $CC $OPT_CFLAGS -O3 -DNDEBUG -D_FILE_OFFSET_BITS=64 -std=gnu99 -I"$PREFIX/include" -I"$SHIMS/tiff" \
        -I"$DEPS/build-tiff/libtiff" -I"$1/libtiff" -c "$SHIMS/tiff/tif_jpeg_ijg8.c" -o "$o"
    $AR rs "$PREFIX/lib/libtiff.a" "$o"
}

# step NAME PACKAGE OPTIONS...: builds NAME from source PACKAGE unless its
# stamp (name, version, options) says it is there; output goes to a log whose
# end is shown when the build fails.
step() {
    local name=$1 pkg=$2 opts="${*:3}" ver rc
    ver=$(resolve_version "$pkg")
    is_done "$name" "$name $ver $opts" && return 0
    echo "building $name ($pkg $ver)"
    rm -f "$STAMPS/$name"
    local log=$LOGS/$name.log t0=$SECONDS
    # Not in a condition, so that errexit holds inside the build.
    set +e
    (set -e; s=$(fetch_source "$pkg"); "build_$name" "$s") >"$log" 2>&1
    rc=$?
    set -e
    if [ $rc -ne 0 ]; then
        echo "building $name failed; the end of $log:" >&2
        tail -n 40 "$log" >&2
        return 1
    fi
    ver=$(resolve_version "$pkg")
    done_stamp "$name" "$name $ver $opts"
    echo "built $name ($pkg $ver) in $((SECONDS - t0)) s"
}

# parallel "NAME PACKAGE OPTIONS..."...: runs the steps at once.
parallel() {
    local pids=() names=() failed=0 i
    for i in "$@"; do
        # shellcheck disable=SC2086
        step $i &
        pids+=($!); names+=("${i%% *}")
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || failed=1
    done
    return $failed
}

setup_apt
flags=${OPT_CFLAGS// /,}
ijg_sum=$(files_sum "$SHIMS"/ijg/dcmtk/*/*.h)
parallel "googletest googletest static posix" \
         "zlib zlib static $flags" \
         "lzma xz-utils static win32-threads no-tools $flags" \
         "ijg8 dcmtk static shims=$ijg_sum $flags" \
         "ijg12 dcmtk static shims=$ijg_sum $flags" \
         "jbig jbigkit static libjbig-only $flags" \
         "turbo libjpeg-turbo static library-only simd arith include=turbo $flags" \
         "lcms2 lcms2 static $flags" \
         "openjp2 openjpeg2 static no-codec no-threads $flags"
tiff_opts="static jpeg8-turbo+ijg8-lossless+12 jbig lzma zlib no-webp-zstd-lerc-libdeflate"
tiff_opts+=" shims=$(files_sum "$SHIMS"/tiff/*.h "$SHIMS"/tiff/*.c) deps=$(stamps_sum zlib lzma ijg8 ijg12 jbig turbo)"
parallel "png libpng1.6 static no-tools zlib=$(stamps_sum zlib) $flags" \
         "tiff tiff $tiff_opts $flags"
echo "dependencies ready in $PREFIX"
