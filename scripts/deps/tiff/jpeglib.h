/* libtiff's <jpeglib.h>, used only while building libtiff in its dual
 * 8/12-bit JPEG mode on the two IJG builds: its 12-bit unit (tif_jpeg_12.c
 * defines FROM_TIF_JPEG_12) gets the 12-bit library, every other unit the
 * 8-bit one. Both headers share one include guard, so whichever comes first
 * in a unit is the one it uses. */
#ifdef FROM_TIF_JPEG_12
#include "ijg12/jpeglib12.h"
#else
#include "ijg8/jpeglib8.h"
#endif
#include "ijg_lossless_compat.h"
