/* libtiff's <jerror.h>: see jpeglib.h beside this file. */
#ifdef FROM_TIF_JPEG_12
#include "ijg12/jerror12.h"
#else
#include "ijg8/jerror8.h"
#endif
