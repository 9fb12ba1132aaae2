// A small Win32 driver for end-to-end tests: starts the real program under
// the same Wine server and display, finds its windows, reads control texts
// and list contents, sends commands, captures window pixels and ends it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Ends the program when the test leaves, whatever assertion stopped it, so
// no stray process keeps the test runner's output pipes open.
struct RunningApp {
    PROCESS_INFORMATION process = {};
    HWND main = NULL;
    RunningApp() = default;
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;
    ~RunningApp();
};

// The whole content of a file, empty when missing; writing replaces it.
// Reading holds the file open, and Wine puts no new file in the place of
// one that is open: a test waiting for the program to replace a file
// watches its stamp and reads it once it changed, never reads in a loop.
std::string read_whole_file(const std::string& path);
bool write_whole_file(const std::string& path, const std::string& text);
bool file_exists(const std::string& path);
// Size and last write of a file, read without opening it; empty when missing.
std::string file_stamp(const std::string& path);
// Its size the same way; 0 when missing.
uint64_t file_size(const std::string& path);
// Waits until the file's stamp is no longer stamp and the program has let
// the new file go; false when that does not come.
bool wait_file_replaced(const std::string& path, const std::string& stamp, DWORD wait_ms = 10000);

// The program's settings file: "Corvane.ini" in the Windows folder.
std::string settings_file_path();

// A key of the settings file set for the test's lifetime, then removed.
struct ScopedSetting {
    const char* key;
    ScopedSetting(const char* key, const char* value);
    ~ScopedSetting();
};

// Folder the tests may fill with files (created on first use).
std::string e2e_work_dir(const std::string& sub);

// Copies a fixture of the set (the fixtures' subfolder: "e2e" is made for
// these tests) into folder under the same name; false when it is missing.
bool copy_fixture(const std::string& name, const std::string& folder, const char* set = "e2e");

// Starts the program in work_dir and waits for its main window, or for a
// message box before it (app.main null until wait_for_main); false if none.
bool start_app(const std::string& arguments, const std::string& work_dir, RunningApp& app);
bool wait_for_main(RunningApp& app, DWORD wait_ms);

// Presses Exit: the program's exit code, or -1 when it had to be killed.
int exit_by_button(RunningApp& app);

// First visible top-level window of the process with that class (or any
// class when null) and, when given, that title, other than the one excluded.
HWND find_process_window(DWORD pid, const char* class_name, HWND excluded, DWORD wait_ms,
                         const char* title = NULL);

// The text of a message box besides the main window, closed with its
// default button; empty when none shows within wait_ms.
std::string dismiss_message_box(const RunningApp& app, DWORD wait_ms, std::string* caption = NULL);

std::string window_text(HWND hwnd);

// A visible dialog or message box of the program with that title, other
// than its main window.
HWND wait_dialog(const RunningApp& app, const char* title, DWORD wait_ms = 15000);

// The texts of a message box's static controls, joined; waits up to 3 s for
// a box seen before its text was set.
std::string box_text(HWND box);

// Text of one part of a status bar in the program's process (read through
// memory lent in that process, since status-bar messages carry pointers).
std::string status_bar_part_text(const RunningApp& app, HWND bar, int part);

// Selects entry index of the main window's file list as a click would: the
// dialog then reports the new selection to the program.
void select_list_entry(const RunningApp& app, int index);
// The same for the entry that reads name; false when none does.
bool select_list_file(const RunningApp& app, const std::string& name);
std::vector<std::string> list_box_items(HWND list);
// Enter pressed in the main window's control id, given the focus first.
void press_enter_in(const RunningApp& app, int id);
// Double-clicks entry of a list box, scrolled into view first, as the mouse
// does it.
void double_click_entry(HWND list, int entry);
// The main list taken into its folder's [sub] by a double click in its
// folder list, as a person does it; false when the list does not come to
// show listed.
bool go_into_sub(const RunningApp& app, const std::vector<std::string>& listed);
bool is_visible(HWND hwnd);
// Waits until the window no longer shows; false when it still shows.
bool wait_hidden(HWND hwnd, DWORD wait_ms = 5000);

// A window as the display shows it (also saved as a PNG under the
// screenshots folder): top-down rows of 0x00RRGGBB, empty when it cannot
// be captured. at() counts from the origin and gives 0xFFFFFFFF outside.
struct Shot {
    std::vector<DWORD> pixels;
    int width = 0, height = 0;   // the whole window, as far as it is on the screen
    int left = 0, top = 0;       // the origin in the shot (negative: off the screen)
    int area_w = 0, area_h = 0;  // from the origin: the window, or the client less the status bar
    DWORD at(int x, int y) const
    {
        x += left;
        y += top;
        return x < 0 || y < 0 || x >= width || y >= height ? 0xFFFFFFFF : pixels[(size_t)y * width + x];
    }
    DWORD middle() const { return at(area_w / 2, area_h / 2); }
    // A pixel of the preview's image square (the control less its 3-pixel
    // frame) at fractions of its side.
    DWORD in_square(double fx, double fy) const
    {
        int side = width - 6;
        return at(3 + (int)(fx * side), 3 + (int)(fy * side));
    }
};
Shot shoot(HWND window, const std::string& name);
// Shots taken by take until ready holds for one (the change the test made
// shows), or wait_ms has passed: the last shot.
Shot shot_when(const std::function<Shot()>& take, const std::function<bool(const Shot&)>& ready,
               DWORD wait_ms = 10000);
// Asks until ready holds or wait_ms has passed: its last answer.
bool wait_for(const std::function<bool()>& ready, DWORD wait_ms = 10000);
// Its client area above the status bar, as the image window shows pictures.
Shot shoot_client(HWND window, const std::string& name);
Shot preview_shot(const RunningApp& app, const char* name);

// The run of pixels of that colour through the middle of the shot's area,
// across and down: left, top, right, bottom (inclusive).
RECT colour_extent(const Shot& shot, DWORD colour);

// Where the black lines 1 and 3 pixels outside the one-coloured picture in
// the middle are not black ("inner top", "outer left", ...): empty
// when the picture lies exactly in its frame.
std::vector<std::string> frame_line_gaps(const Shot& shot);

// Answers up to boxes message boxes of the program, Yes or OK, while they
// come, adding each to *seen as "caption|text".
void answer_boxes(const RunningApp& app, std::vector<std::string>* seen, size_t boxes);

// As answer_boxes, but each box answered with the next of buttons (IDYES,
// IDNO, IDCANCEL, IDOK; 0 presses Enter), and, when over is given, one not owned by over or
// a window above it seen as "caption|text (not over the window)"; one that
// does not show that button is seen with " (no such button)" added.
void answer_boxes_with(const RunningApp& app, std::vector<std::string>* seen, const std::vector<int>& buttons,
                       HWND over = NULL);

// True when window's owner is over or a window owned by over (a dialog that
// comes up in front of over under a window manager).
bool is_owned_over(HWND window, HWND over);

// Posts command to owner. The dialog titled title (null: none comes; "":
// the first besides the main window) gets target in its name field (empty:
// as proposed) and OK, or Cancel when cancel; then up to boxes message
// boxes are answered Yes or OK. Returns the dialog's OK label ("" without
// one) and each box as "caption|text".
std::vector<std::string> run_dialog_command(const RunningApp& app, HWND owner, int command, const char* title,
                                            const std::string& target, size_t boxes, bool cancel = false);

// Presses a dialog's button as a click does.
void click_button(HWND dialog, int id);

// The merge tool's "Merge Image from File" dialog, once it shows, given the
// file name and OK: the dialog, null when it does not show; or false when
// it does not show or stays.
HWND type_merge_file(const RunningApp& app, const std::string& name);
bool choose_merge_file(const RunningApp& app, const char* name);

// Sends a menu command to the main window and gives it time to show. A
// box the command opens and waits on fails the test and is closed, and a
// command that does not come back fails it too: the test goes on.
void send_main_command(const RunningApp& app, int id);

// Waits for the window to go away; false when it stays past wait_ms.
bool wait_until_closed(HWND hwnd, DWORD wait_ms = 10000);

// The window's text once it reads wanted, or what it reads after wait_ms.
std::string wait_for_window_text(HWND hwnd, const std::string& wanted, DWORD wait_ms = 5000);

// Every colour channel of a and b (0x00RRGGBB) within tolerance.
bool colours_close(DWORD a, DWORD b, int tolerance);

// Fills (0, 0) to (right, bottom) with red, no outline (metafile pictures).
void paint_red_box(HDC dc, int right, int bottom);

// Writes a plain metafile that sets its own window of 800 x 600: a blue
// rectangle (100, 100) to (700, 500), and a red ellipse in its middle
// that a corner of the drawing shown at a view's own pixels leaves out.
void write_wmf_of_own_window(const std::string& path);

// The main window's media window once it shows; null after wait_ms.
HWND wait_for_media_window(HWND main, DWORD wait_ms);

// Opens the image window by the main window's Center or Tile button.
HWND open_image_window(const RunningApp& app, int button);

// Opens the batch window by the main window's command and, once its cells
// are laid out, clicks the one of that number (which selects it and makes
// it the clicked one); null when the window or its cells do not show.
HWND open_batch_window_clicking(const RunningApp& app, int cell);

// preview_shot(app, shot).in_square(fx, fy).
DWORD preview_pixel(const RunningApp& app, const std::string& shot, double fx, double fy);

// Whether Wine tells the window manager to keep window in front of over
// (WM_TRANSIENT_FOR names over's X window), as a dialog over a full-screen
// window needs.
bool x_transient_for(HWND window, HWND over);

// Runs a shell command line (without double quotes) on the machine under
// Wine and waits for it to end: what Wine cannot do, such as giving a file
// a name that differs from another's only in letter case.
void run_unix_command(const std::string& command);
// The Unix path of a path of the test's drives ("Z:\\...").
std::string unix_path(std::string path);

// Runs xdotool with the actions (real pointer moves and keys on the test's
// display) and waits for it to end; the program handles them after that.
void x_input(const std::string& actions);
