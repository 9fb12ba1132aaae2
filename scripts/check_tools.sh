#!/usr/bin/env bash
# The quick guard that `make test` runs right after the bootstrap: every
# external command a test, fixture, check or the test run itself calls is on
# the PATH and does one tiny job, so that a missing package or a missing
# run-time piece (fonts, delegates) is named here instead of failing deep
# inside a check. A new tool is one line in TOOLS; its package must also be
# in PACKAGES of scripts/bootstrap.sh.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

# command  package(s, '+' between)  smoke run, in a scratch folder holding
#                                   tiny.ppm (2x1 colour), tiny.gif (1x1) and tiny.wmf (text)
TOOLS='
convert    imagemagick               /usr/bin/convert tiny.ppm tiny.png && /usr/bin/convert tiny.ppm tiny.tif
identify   imagemagick               identify -format %wx%h tiny.ppm | grep -qx 2x1
compare    imagemagick               compare -metric PAE tiny.ppm tiny.ppm null: 2>/dev/null
composite  imagemagick               composite tiny.ppm tiny.ppm composed.ppm
import     imagemagick               import -version
ppmtobmp   netpbm                    ppmtobmp -windows -bpp=24 tiny.ppm > tiny.bmp 2>/dev/null
bmptoppm   netpbm                    ppmtobmp tiny.ppm 2>/dev/null | bmptoppm 2>/dev/null | cmp -s - tiny.ppm
ppmtopgm   netpbm                    ppmtopgm tiny.ppm | grep -q "^P5"
giftopnm   netpbm                    giftopnm tiny.gif 2>/dev/null | grep -q "^P[56]"
pnmtopnm   netpbm                    pnmtopnm -plain < tiny.ppm 2>/dev/null | grep -q "^P3"
pbmtog3    netpbm                    printf "P1\n1 1\n1\n" | pbmtog3 -nofixedwidth 2>/dev/null | grep -q .
pngtopam   netpbm                    pnmtopng tiny.ppm 2>/dev/null | pngtopam -alphapam | grep -q "^P7"
pnmgamma   netpbm                    pnmgamma 2.2 tiny.ppm 2>/dev/null | grep -q "^P6"
pamstack   netpbm                    ppmtopgm tiny.ppm > g.pgm && pamstack g.pgm g.pgm 2>/dev/null | pamdepth 255 | grep -q "^P7"
pamenlarge netpbm                    printf ab | rawtopgm 2 1 | pamenlarge 2 | grep -q "^P5"
rasttopnm  netpbm                    pnmtorast -rle tiny.ppm 2>/dev/null | rasttopnm 2>/dev/null | cmp -s - tiny.ppm
pngcheck   pngcheck                  /usr/bin/convert tiny.ppm tiny.png && pngcheck -q tiny.png
jbgtopbm   jbigkit-bin               printf "P1\n2 1\n1 0\n" | pbmtojbg | jbgtopbm | grep -q "^P4"
opj_decompress libopenjp2-tools      opj_compress -i tiny.ppm -o t.j2k -n 1 && opj_decompress -i t.j2k -o t.ppm && tail -c 6 t.ppm | cmp -s - <(tail -c 6 tiny.ppm)
cjpeg      libjpeg-turbo-progs       cjpeg -quality 85 tiny.ppm > tiny.jpg
djpeg      libjpeg-turbo-progs       cjpeg -arithmetic tiny.ppm | djpeg -dct int -pnm | grep -q "^P6"
jpegtran   libjpeg-turbo-progs       cjpeg tiny.ppm | jpegtran -copy all -trim -rotate 90 | djpeg -pnm | grep -q "^P6"
wrjpgcom   libjpeg-turbo-progs       cjpeg tiny.ppm | wrjpgcom -replace -comment "x" > commented.jpg
rdjpgcom   libjpeg-turbo-progs       cjpeg tiny.ppm | wrjpgcom -comment "x" | rdjpgcom | grep -qx x
gif2rgb    giflib-tools              gif2rgb -1 -o tiny.rgb tiny.gif 2>/dev/null && test -s tiny.rgb
gifbuild   giflib-tools              gifbuild -d tiny.gif | grep -q screen
exiftool   libimage-exiftool-perl    exiftool -s3 -ImageWidth tiny.gif | grep -qx 1
wmf2gd     libwmf-bin+fonts-urw-base35  wmf2gd -t png -o wmf.png tiny.wmf 2>/dev/null && test -s wmf.png
ppmtopcx   netpbm                    ppmtopcx tiny.ppm 2>/dev/null | pcxtoppm 2>/dev/null | cmp -s - tiny.ppm
pamtotga   netpbm                    pamtotga -rgb tiny.ppm 2>/dev/null | tgatoppm 2>/dev/null | cmp -s - tiny.ppm
ppmtoilbm  netpbm                    ppmtoilbm tiny.ppm 2>/dev/null | ilbmtoppm 2>/dev/null | cmp -s - tiny.ppm
ppmtowinicon netpbm                  ppmtowinicon tiny.ppm 2>/dev/null | winicontopam 2>/dev/null | grep -q RGB_ALPHA
ppmmake    netpbm                    ppmmake red 2 1 2>/dev/null | grep -q "^P6"
pnmcat     netpbm                    pnmcat -lr tiny.ppm tiny.ppm 2>/dev/null | grep -q "^P6"
pbmtosunicon netpbm                  printf "P1\n1 1\n1\n" | pbmtosunicon 2>/dev/null | sunicontopnm 2>/dev/null | grep -q "^P[14]"
pstoedit   pstoedit+ghostscript      printf "%%!PS\n0 0 moveto 9 9 lineto stroke showpage\n" > tiny.ps && pstoedit -q -f emf tiny.ps tiny.emf 2>/dev/null && test -s tiny.emf
gdcmconv   libgdcm-tools             gdcmimg -i tiny.ppm -o tiny.dcm 2>/dev/null && gdcmconv --jpeg tiny.dcm tinyj.dcm 2>/dev/null && test -s tinyj.dcm
bc         bc                        test "$(echo "scale=2; 1/4" | bc)" = .25
pnmtotiff  netpbm                    pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tifftopnm t.tif 2>/dev/null | cmp -s - tiny.ppm
tiffcp     libtiff-tools             pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tiffcp -c jpeg t.tif j.tif && tiffcp -c lzma t.tif l.tif
tiffinfo   libtiff-tools             pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tiffinfo -D t.tif | grep -q "Image Width: 2"
pgmmake    netpbm                    pgmmake 0.5 2 2 | grep -q "^P5"
pbmmake    netpbm                    pbmmake -white 2 2 | pnmtotiff -g4 2>/dev/null > g4.tif && tiffinfo g4.tif | grep -q "Group 4"
tiffcrop   libtiff-tools             pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tiffcrop -R 90 t.tif r.tif
tiffset    libtiff-tools             pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tiffset -s 274 6 t.tif
tiff2rgba  libtiff-tools             pnmtotiff -truecolor tiny.ppm 2>/dev/null > t.tif && tiff2rgba -n t.tif a.tif
cc         gcc+liblcms2-dev          printf "#include <lcms2.h>\nint main(void) { return !cmsCreate_sRGBProfile(); }\n" | cc -x c -o lcms - -llcms2 && ./lcms
perl       perl                      perl -e "use strict; use warnings; exit 0"
Xvfb       xvfb                      true
wine       wine+wine32:i386          wine --version
wineserver wine                      true
ctest      cmake                     ctest --version
cupsd      cups+printer-driver-cups-pdf  printf "Listen %s/s\n" "$PWD" > c.conf && cupsd -t -c c.conf && test -x /usr/lib/cups/backend/cups-pdf && test -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
lpadmin    cups+libcups2:i386        test -e /usr/lib/i386-linux-gnu/libcups.so.2
pdftoppm   poppler-utils+ghostscript printf "%%!PS\n0 0 moveto 9 9 lineto stroke showpage\n" | gs -q -dSAFER -sDEVICE=pdfwrite -o t.pdf - && pdftoppm -r 10 -singlefile t.pdf t && test -s t.ppm
'


scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
# Two pixels, red and blue.
printf 'P6\n2 1\n255\n\377\0\0\0\0\377' > tiny.ppm
# One red pixel.
printf 'GIF89a\1\0\1\0\200\0\0\377\0\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;' > tiny.gif
# A Windows metafile that draws "Hi": header, window origin and extent,
# TextOut, end. Drawing text makes libwmf load its fonts.
printf '\1\0\11\0\0\3\35\0\0\0\0\0\7\0\0\0\0\0' > tiny.wmf
printf '\5\0\0\0\13\2\0\0\0\0\5\0\0\0\14\2\144\0\144\0' >> tiny.wmf
printf '\7\0\0\0\41\5\2\0Hi\62\0\12\0\3\0\0\0\0\0' >> tiny.wmf

bootstrap_packages=$(sed -n '/^PACKAGES=(/,/^)/p' "$ROOT/scripts/bootstrap.sh")
missing=()
while read -r command packages smoke; do
    [ -n "$command" ] || continue
    install=${packages//+/ }
    for package in $install; do
        if ! grep -qE "(^|[[:space:]])$package([[:space:]]|$)" <<< "$bootstrap_packages"; then
            echo "check_tools: $package (for $command) is not in PACKAGES of scripts/bootstrap.sh" >&2
            missing+=("$package")
        fi
    done
    if ! command -v "$command" > /dev/null; then
        echo "check_tools: $command is not on the PATH; install: apt-get install --no-install-recommends $install" >&2
        missing+=("$install")
    elif ! bash -c "$smoke" > /dev/null 2>&1; then
        echo "check_tools: $command does not work ($smoke); install or repair: $install" >&2
        missing+=("$install")
    fi
done <<< "$TOOLS"

if [ ${#missing[@]} -gt 0 ]; then
    echo "check_tools: the tests cannot run here until these are installed: ${missing[*]}" >&2
    exit 1
fi
echo "check_tools: every test tool is present and works"
