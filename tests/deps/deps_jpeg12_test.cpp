// The 12-bit IJG build (lossless patch), linked into the same program as
// the 8-bit one: lossy and lossless round trips in memory.
#include <cstdio>

extern "C" {
#include "jpeglib12.h"
#include "jerror12.h"
}

#define IJG_SUITE DepsJpeg12
#include "ijg_round_trip.inc"

static_assert(BITS_IN_JSAMPLE == 12 && MAXJSAMPLE == 4095, "12-bit samples");
