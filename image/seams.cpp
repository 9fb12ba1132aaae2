// Forwarders to the real Win32 calls behind the seams (see seams.h).
#include "image/seams.h"

#include "image/file_hold.h"
#include "image/open_windows.h"

#include <vfw.h>

static const char DEFAULT_SETTINGS_FILE[] = "Corvane.ini";

static MessageBoxFn s_messageBox;
static BeepFn s_beep;
static int s_displayBits;
static WinHelpFn s_winHelp;
static MediaWindowFn s_mediaWindow;
static PrintDialogFn s_printDialog;
static ToolWindowFn s_toolWindow;
static char s_settingsFile[MAX_PATH];
static unsigned s_boxesShown;

int seam_message_box(HWND owner, const char* text, const char* caption, UINT type)
{
    // Taken before the hold disables the windows.
    owner = front_owner(owner);
    // Every box is about the shown file, or comes while it is in use.
    FileHold hold;
    ++s_boxesShown;
    if (s_messageBox)
        return s_messageBox(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

unsigned seam_message_box_count(void)
{
    return s_boxesShown;
}

void seam_beep(UINT type)
{
    if (s_beep)
        s_beep(type);
    else
        MessageBeep(type);
}

int seam_display_bits(void)
{
    if (s_displayBits > 0)
        return s_displayBits;
    HDC hdc = GetDC(NULL);
    if (!hdc)
        return 24;
    int bits = GetDeviceCaps(hdc, BITSPIXEL) * GetDeviceCaps(hdc, PLANES);
    ReleaseDC(NULL, hdc);
    return bits;
}

BOOL seam_win_help(HWND hwnd, const char* file, UINT command, ULONG_PTR data)
{
    if (s_winHelp)
        return s_winHelp(hwnd, file, command, data);
    return WinHelpA(hwnd, file, command, data);
}

HWND seam_create_media_window(HWND parent, HINSTANCE instance, DWORD style, const char* file)
{
    if (s_mediaWindow)
        return s_mediaWindow(parent, instance, style, file);
    return MCIWndCreateA(parent, instance, style, file);
}

BOOL seam_print_dialog(PRINTDLGA* dialog)
{
    dialog->hwndOwner = front_owner(dialog->hwndOwner);
    FileHold hold;
    if (s_printDialog)
        return s_printDialog(dialog);
    return PrintDlgA(dialog);
}

HWND seam_create_tool_window(const char* class_name, DWORD style, int width, int height, HWND owner)
{
    if (s_toolWindow)
        return s_toolWindow(class_name, style, width, height, owner);
    return CreateWindowExA(0, class_name, "A", style, 0, 0, width, height, owner, NULL, GetModuleHandleA(NULL),
                           NULL);
}

const char* seam_settings_file(void)
{
    return s_settingsFile[0] ? s_settingsFile : DEFAULT_SETTINGS_FILE;
}

void seam_set_message_box(MessageBoxFn fn) { s_messageBox = fn; }
void seam_set_beep(BeepFn fn) { s_beep = fn; }
void seam_set_display_bits(int bits) { s_displayBits = bits > 0 ? bits : 0; }
void seam_set_win_help(WinHelpFn fn) { s_winHelp = fn; }
void seam_set_create_media_window(MediaWindowFn fn) { s_mediaWindow = fn; }
void seam_set_print_dialog(PrintDialogFn fn) { s_printDialog = fn; }
void seam_set_create_tool_window(ToolWindowFn fn) { s_toolWindow = fn; }

void seam_set_settings_file(const char* path)
{
    s_settingsFile[0] = 0;
    if (path)
        lstrcpynA(s_settingsFile, path, sizeof s_settingsFile);
}

void seam_reset(void)
{
    s_messageBox = NULL;
    s_beep = NULL;
    s_displayBits = 0;
    s_winHelp = NULL;
    s_mediaWindow = NULL;
    s_printDialog = NULL;
    s_toolWindow = NULL;
    s_settingsFile[0] = 0;
}
