// The red-eye point list (see red_eye.h).
#include "tools/red_eye.h"

HGLOBAL g_hRedEyePoints;
UINT g_redEyePointCount;
