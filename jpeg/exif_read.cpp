// The Exif results (see exif_read.h).
#include "jpeg/exif_read.h"

int g_exifOrientation;
HGLOBAL g_hExifInfo;
HGLOBAL g_hExifThumbnail;
