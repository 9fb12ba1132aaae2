/* libtiff's <jerror.h>: see jpeglib.h beside this file. */
#if defined(FROM_TIF_JPEG_12)
#include "ijg12/jerror12.h"
#elif defined(FROM_TIF_JPEG_IJG8)
#include "ijg8/jerror8.h"
#else
#include "turbo/jerror.h"
#endif
