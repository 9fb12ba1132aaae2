// The transform driver's argument vector (see jpegtran.h).
#include "jpeg/jpegtran.h"

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
