// The edit history's state (see edit_history.h).
#include "tools/edit_history.h"

HGLOBAL g_hEditHistory;
EditRecord* g_editHistory;
UINT g_editCount;
