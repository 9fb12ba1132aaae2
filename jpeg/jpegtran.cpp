// The lossless transform driver for 8-bit JPEG on libjpeg-turbo (the body
// is jpegtran.inc), and the argument vector the commands fill.
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
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"

extern "C" {
#include "jpeglib.h"
#include "jerror.h"
}

static char s_program[] = "jpegtran";
static char s_copy[] = "-copy";
static char s_all[] = "all";
static char s_trim[] = "-trim";
static char s_empty[] = "";

char* g_jpegtranArgv[JPEGTRAN_ARG_SLOTS] = {
    s_program, s_copy, s_all, s_trim, s_empty, s_empty,
    s_empty, s_empty, s_empty, s_empty, s_empty, s_empty,
};
int g_jpegtranArgc = 4;

#define JPEG_BITS 8
#define XF(name) name
#define JPEGTRAN_MAIN jpegtran_main
#include "jpeg/jpegtran.inc"
