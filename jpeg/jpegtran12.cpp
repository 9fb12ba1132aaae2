// The lossless transform driver for 12-bit JPEG on the 12-bit IJG build
// (the body is jpegtran.inc). That build names the coefficient-array sizes
// of a component in data units.
#include "jpeg/jpegtran.h"

#include <ctype.h>
#include <setjmp.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "image/loader.h"
#include "image/pixel_ceiling.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "jpeg/jpeg_read.h"

extern "C" {
#include "jpeglib12.h"
#include "jerror12.h"
}

#define width_in_blocks width_in_data_units
#define height_in_blocks height_in_data_units

#define JPEG_BITS 12
#define XF(name) name##_12
#define JPEGTRAN_MAIN jpegtran_main_12
#include "jpeg/jpegtran.inc"
