// The JPEG facts of the current file (see jpeg_read.h).
#include "jpeg/jpeg_read.h"

int g_jpegColorSpace;
int g_jpegProgressive;
int g_jpegLossless;
int g_thumbJpegLossless;
HGLOBAL g_hApp12Text;
