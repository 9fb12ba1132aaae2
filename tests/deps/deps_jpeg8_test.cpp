// The 8-bit IJG build (lossless patch): lossy and lossless round trips in
// memory. The 12-bit build runs the same checks in deps_jpeg12_test.cpp.
#include <cstdio>

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

#define IJG_SUITE DepsJpeg8
#include "ijg_round_trip.inc"
