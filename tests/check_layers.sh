#!/usr/bin/env bash
# Fails when a source file includes a project header across the layers in a
# way not listed below. Dependencies point down:
#   app/, viewer/  ->  tools/, formats/, jpeg/  ->  image/  ->  resources/
# An include of the same folder or of a lower layer is always fine; anything
# else (upward, or sideways between folders of one layer) needs its line in
# ALLOWED, with the reason, so that it is a decision and not an accident.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

declare -A LAYER=([resources]=0 [image]=1 [tools]=2 [formats]=2 [jpeg]=2 [viewer]=3 [app]=3)

# source glob, header glob   (bash patterns; # starts the reason)
ALLOWED=(
    "image/loader.cpp jpeg/*"                  # the loader calls every reader
    "image/loader.cpp formats/*"               # the loader calls every reader
    "image/loader.cpp tools/color_reduce.h"    # after-read colour reduction for the display
    "image/loader.cpp tools/edit_history.h"    # a fresh load clears the edit history
    "image/loader.cpp tools/edit_replay.h"     # an undo reload replays the edit history
    "image/merge_loader.cpp jpeg/*"            # the merge source is read by the same readers
    "image/merge_loader.cpp formats/*"         # the merge source is read by the same readers
    "image/merge_loader.cpp tools/merge_image.h"  # sources with transparency get their mask
    "image/loader.cpp viewer/status_bar.h"     # status-bar heights and refresh
    "image/multimedia.cpp viewer/status_bar.h"    # the media window sits above the main status bar
    "image/multimedia.cpp viewer/image_window.h"  # a medium replaces the image window
    "image/preview.cpp viewer/status_bar.h"    # status-bar heights in the layout
    "image/picker_palette.cpp tools/color_reduce.h"  # the pickers show the standard palettes
    "jpeg/exif_write.cpp tools/resample.h"     # the Exif thumbnail is a reduced copy
    "jpeg/exif_read.cpp tools/resample.h"      # a read thumbnail is shrunk to 160 x 160
    "jpeg/exif_read.cpp formats/tiff_read.h"   # an uncompressed thumbnail is read as a TIFF page
    "jpeg/exif_read.cpp viewer/exif_dialog.h"  # read_exif_info opens the EXIF dialog
    "formats/tiff_read.cpp jpeg/color_profiles.h"   # the stored profiles are shared with the JPEG reader
    "formats/tiff_read.cpp tools/quarter_turns.h"   # a page is put upright by its Orientation
    "formats/jbig.cpp tools/grey_tone.h"       # a colour image is written as the grey tool's copy
    "app/* viewer/*"                           # the main window opens the viewer windows
    "viewer/image_window*.cpp app/*"           # the image window's commands are the main window's workers
    "viewer/capture.cpp app/*"                 # the overlay's owner handle and the menu refresh
    "viewer/merge_window.cpp app/*"            # the main dialog's file filter, the clipboard's DIB check and metafile
    "viewer/slideshow.cpp app/*"               # the next-file step walks the main window's list; menu refresh
    "image/icon.cpp formats/png.h"             # a PNG-compressed icon entry is read by the PNG reader
    "viewer/batch_*.cpp app/*"                 # the batch window walks the main list and runs its file, save and comment workers
)

# Inside image/, the metafile units stand in a line, each using only those
# below it: what the reading rules share, the rules of each kind, the
# sealing of Windows-metafile bits, the checked players, the comparison and
# the program's own conversion with the code pages of its text, the
# renderer, the preview's layout (the reader fits the preview to the
# picture), the reading and writing of files with the program's plays, the
# kept pixels, and the painters of the current metafile.
declare -A METAFILE_RANK=([image/record_check]=0 [image/emf_check]=1 [image/wmf_check]=1 [image/wmf_seal]=2
    [image/metafile_play]=3 [image/metafile_compare]=3 [image/emf_text_codes]=3 [image/emf_to_wmf]=3
    [image/render_ipc]=4 [image/metafile_renderer]=4 [image/render_serve]=4 [image/preview]=5 [image/metafile]=6
    [image/metafile_view]=7 [image/metafile_preview]=8)

status=0
while read -r file header; do
    from=${file%%/*} to=${header%%/*}
    low=${file%.*} high=${header%.*}
    if [ -n "${METAFILE_RANK[$low]+set}" ] && [ -n "${METAFILE_RANK[$high]+set}" ] &&
       [ "${METAFILE_RANK[$high]}" -gt "${METAFILE_RANK[$low]}" ]; then
        echo "$file includes $header: a lower metafile unit may not use a higher one (tests/check_layers.sh)"
        status=1
        continue
    fi
    # Fine: a library's own header, the same folder, a lower layer.
    [ -n "${LAYER[$to]+set}" ] && [ "$to" != "$from" ] && [ "${LAYER[$to]}" -ge "${LAYER[$from]}" ] || continue
    allowed=0
    for rule in "${ALLOWED[@]}"; do
        # The patterns must stay unquoted to match as globs.
        # shellcheck disable=SC2053
        [[ $file == ${rule%% *} && $header == ${rule#* } ]] && allowed=1 && break
    done
    if [ $allowed = 0 ]; then
        echo "$file includes $header: $from/ may not depend on $to/ (tests/check_layers.sh)"
        status=1
    fi
done < <(grep -r --include='*.cpp' --include='*.h' --include='*.inc' --include='*.c' '' app viewer tools formats jpeg image |
         sed -n 's/^\([^:]*\):[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1 \2/p')
# Nor may any unit of image/ stand in a ring of units that include each
# other (a unit is its .cpp and .h): what it uses must not use it back, so
# that the units of image/ stand in a rank, lower ones first.
ring=$(grep -r --include='*.cpp' --include='*.h' '' image |
       sed -n 's/^\([^:]*\)\.[a-z]*:[[:space:]]*#[[:space:]]*include[[:space:]]*"\(image\/[^"]*\)\.h".*/\1 \2/p' |
       awk '$1 != $2' | sort -u | { tsort 2>&1 >/dev/null || true; } | sed -n 's/^tsort: \(image\/.*\)/\1/p' | sort -u)
if [ -n "$ring" ]; then
    echo "units of image/ stand in a ring of includes: $(echo $ring) (tests/check_layers.sh)"
    status=1
fi
exit $status
