// WinMain of CorvaneRender.exe, the metafile renderer the program starts
// beside itself (image/metafile_renderer.h). It has no window.
#include <windows.h>

#include "image/metafile_renderer.h"

static LONG WINAPI end_quietly(EXCEPTION_POINTERS*)
{
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int)
{
    // A fault in the system's player ends this process without a dialog;
    // the program notices through the process handle.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_quietly);
    return render_serve(command_line);
}
