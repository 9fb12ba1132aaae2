/* libtiff's 8-bit JPEG codec once more, on the IJG library with the
 * lossless patch, under other names: libjpeg-turbo, which the built-in
 * codec uses, has no lossless process. A reader registers TIFFInitJPEG_ijg8
 * for a page whose JPEG data is lossless. Compiled in libtiff's source
 * folder's include path, against its tif_config.h. */
#define FROM_TIF_JPEG_IJG8
#define TIFFInitJPEG TIFFInitJPEG_ijg8
#define TIFFJPEGIsFullStripRequired TIFFJPEGIsFullStripRequired_ijg8
#include "tif_jpeg.c"
