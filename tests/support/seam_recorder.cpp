// The seam recorder (see seam_recorder.h). One recorder is active at a time.
#include "support/seam_recorder.h"

#include "image/seams.h"
#include "support/test_support.h"

static SeamRecorder* s_active;

static int record_box(HWND owner, const char* text, const char* caption, UINT type)
{
    RecordedBox box = {owner, text ? text : "(null)", caption ? caption : "(null)", type};
    s_active->boxes.push_back(box);
    if (s_active->answers.empty())
        return IDOK;
    int answer = s_active->answers.front();
    s_active->answers.pop_front();
    return answer;
}

static void record_beep(UINT type)
{
    s_active->beeps.push_back(type);
}

// Help is never opened.
static BOOL no_help(HWND, const char*, UINT, ULONG_PTR)
{
    return TRUE;
}

static HWND fake_media_window(HWND, HINSTANCE, DWORD, const char*)
{
    return s_active->media_window;
}

static BOOL record_print_dialog(PRINTDLGA* dialog)
{
    ++s_active->print_dialogs;
    if (!s_active->print_ok)
        return FALSE;
    // What OK on the dialog's first choice gives, without showing it.
    dialog->Flags |= PD_RETURNDEFAULT;
    return PrintDlgA(dialog);
}

SeamRecorder::SeamRecorder(int display_bits)
{
    s_active = this;
    seam_reset();
    seam_set_message_box(record_box);
    seam_set_beep(record_beep);
    seam_set_win_help(no_help);
    seam_set_create_media_window(fake_media_window);
    seam_set_print_dialog(record_print_dialog);
    seam_set_display_bits(display_bits);
}

SeamRecorder::~SeamRecorder()
{
    seam_reset();
    s_active = nullptr;
}

void SeamRecorder::set_display_bits(int bits)
{
    seam_set_display_bits(bits);
}

std::string SeamRecorder::use_settings_file(const std::string& name)
{
    std::string path = test_out_path(name);
    seam_set_settings_file(path.c_str());
    return path;
}
