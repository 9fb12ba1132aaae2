// Lossless JPEG transforms driven by a command-line style argument vector.
#pragma once

enum { JPEGTRAN_ARG_SLOTS = 12 };

// Slots 0 to 3 are "jpegtran", "-copy", "all", "-trim"; the commands fill
// the slots from 4 on; the slot after the last counted one is "".
extern char* g_jpegtranArgv[JPEGTRAN_ARG_SLOTS];
extern int g_jpegtranArgc;

// 1 when the output file was written, 0 after a reported failure.
int jpegtran_main(int argc, char** argv);
int jpegtran_main_12(int argc, char** argv);
