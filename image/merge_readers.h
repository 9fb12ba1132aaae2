// The merge-source readers, one per row of the loader's reader table (see
// SourceReader in loader.h): each reads the file open on `file` with its
// format's reader, given no owner and no information text, and with local
// state where the selected-file loader passes the current-image globals.
// Each closes the handle. A reader that finds transparency sets
// g_mergeKind and g_hMergeMask; load_image_file does the rest.
#pragma once

#include <windows.h>

HGLOBAL read_bmp_source(HFILE file, const char* path);
HGLOBAL read_gif_source(HFILE file, const char* path);
HGLOBAL read_macbinary_gif_source(HFILE file, const char* path);
HGLOBAL read_jpeg_source(HFILE file, const char* path);
HGLOBAL read_jpeg2000_source(HFILE file, const char* path);
HGLOBAL read_sun_raster_source(HFILE file, const char* path);
HGLOBAL read_pnm_source(HFILE file, const char* path);
HGLOBAL read_pcx_source(HFILE file, const char* path);
HGLOBAL read_tiff_source(HFILE file, const char* path);
HGLOBAL read_macbinary_tiff_source(HFILE file, const char* path);
HGLOBAL read_png_source(HFILE file, const char* path);
HGLOBAL read_iff_source(HFILE file, const char* path);
HGLOBAL read_ani_source(HFILE file, const char* path);
HGLOBAL read_icon_source(HFILE file, const char* path);
HGLOBAL read_sun_icon_source(HFILE file, const char* path);
HGLOBAL read_wmf_source(HFILE file, const char* path);
HGLOBAL read_emf_source(HFILE file, const char* path);
HGLOBAL read_tga_source(HFILE file, const char* path);
HGLOBAL read_jbig_source(HFILE file, const char* path);
