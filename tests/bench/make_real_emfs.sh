#!/bin/sh
# Makes enhanced metafiles as drawing programs write them, for
# metafile_bench --files: Inkscape's of each SVG in SRC, and pstoedit's of
# the PostScript rsvg-convert makes of it (Debian: inkscape, pstoedit,
# librsvg2-bin).
# Usage: make_real_emfs.sh SRC OUT
src=${1:?folder of SVGs} out=${2:?folder for the EMFs}
mkdir -p "$out"
for f in "$src"/*.svg; do
    b=$(basename "$f" .svg)
    inkscape "$f" --export-type=emf --export-filename="$out/ink_$b.emf" >/dev/null 2>&1
    rsvg-convert -f ps -o "$out/$b.ps" "$f" 2>/dev/null &&
        pstoedit -f emf "$out/$b.ps" "$out/ps_$b.emf" >/dev/null 2>&1
    rm -f "$out/$b.ps"
done
