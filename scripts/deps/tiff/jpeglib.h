/* libtiff's <jpeglib.h>, used only while building libtiff in its dual
 * 8/12-bit JPEG mode: its 12-bit unit (tif_jpeg_12.c defines
 * FROM_TIF_JPEG_12) gets the IJG 12-bit library; the second 8-bit codec
 * (tif_jpeg_ijg8.c defines FROM_TIF_JPEG_IJG8), which reads lossless JPEG,
 * the IJG 8-bit one; every other unit libjpeg-turbo. The headers share one
 * include guard, so whichever comes first in a unit is the one it uses. */
#if defined(FROM_TIF_JPEG_12)
#include "ijg12/jpeglib12.h"
#include "ijg_lossless_compat.h"
#elif defined(FROM_TIF_JPEG_IJG8)
#include "ijg8/jpeglib8.h"
#include "ijg_lossless_compat.h"
#else
#include "turbo/jpeglib.h"
#endif
