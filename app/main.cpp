// WinMain: the whole run happens inside the one Open-file dialog call that
// shows the main window. The process exit code is always 1.
#include <windows.h>
#include <commdlg.h>

#include "app/program_entry.h"
#include "viewer/window_classes.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int)
{
    prepare_main_dialog_record(instance, command_line);
    register_window_classes(instance);
    GetOpenFileNameA(&g_ofnMain);
    release_main_dialog_record();
    return 1;
}
