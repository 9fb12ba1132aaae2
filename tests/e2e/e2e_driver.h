// A small Win32 driver for end-to-end tests: starts the real program under
// the same Wine server and display, finds its windows, reads control texts
// and list contents, sends commands, captures window pixels and ends it.
#pragma once

#include <windows.h>

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
std::string read_whole_file(const std::string& path);
bool write_whole_file(const std::string& path, const std::string& text);

// The program's settings file: "Corvane.ini" in the Windows folder.
std::string settings_file_path();

// Folder the tests may fill with files (created on first use).
std::string e2e_work_dir(const std::string& sub);

// Copies a fixture made by tests/fixtures/make_e2e.sh into folder under
// the same name; false when it is missing.
bool copy_fixture(const std::string& name, const std::string& folder);

// Starts the program with the command-line arguments in work_dir and waits
// for its main window, or for a message box that comes before it (then
// app.main stays null until wait_for_main). False (and the process ended)
// when neither shows.
bool start_app(const std::string& arguments, const std::string& work_dir, RunningApp& app);
bool wait_for_main(RunningApp& app, DWORD wait_ms);

// Ends the program if it still runs; returns its exit code, or -1 when it
// had to be killed.
int end_app(RunningApp& app, DWORD wait_ms = 15000);

// Waits for the process to exit by itself; its exit code, or -1 on timeout.
int wait_exit(RunningApp& app, DWORD wait_ms);

// Presses the main window's Exit button and ends the program; its exit
// code, or -1 when it had to be killed.
int exit_by_button(RunningApp& app);

// First visible top-level window of the process with that class (or any
// class when null) and, when given, that title, other than the one excluded.
HWND find_process_window(DWORD pid, const char* class_name, HWND excluded, DWORD wait_ms,
                         const char* title = NULL);

// A message box (or other dialog) of the process besides its main window:
// returns its text (the static control's) and closes it with its default
// button; empty when none shows within wait_ms.
std::string dismiss_message_box(const RunningApp& app, DWORD wait_ms, std::string* caption = NULL);

std::string window_text(HWND hwnd);

// A visible dialog or message box of the program with that title.
HWND wait_dialog(const RunningApp& app, const char* title, DWORD wait_ms = 15000);

// The texts of a message box's static controls, joined.
std::string box_text(HWND box);

// Text of one part of a status bar in the program's process (read through
// memory lent in that process, since status-bar messages carry pointers).
std::string status_bar_part_text(const RunningApp& app, HWND bar, int part);

// Selects entry index of the main window's file list as a click would: the
// dialog then reports the new selection to the program.
void select_list_entry(const RunningApp& app, int index);
std::vector<std::string> list_box_items(HWND list);
std::string combo_selection_text(HWND combo);
bool is_visible(HWND hwnd);
// Waits until the window no longer shows (a window being destroyed can
// take a while under a loaded Wine); false when it still shows.
bool wait_hidden(HWND hwnd, DWORD wait_ms = 5000);

// Captures the window as it shows on the display into a PNG under the
// screenshots folder and returns its path (empty on failure); also returns
// the pixels (top-down rows, 0x00RRGGBB) when asked.
std::string save_screenshot(HWND hwnd, const std::string& name,
                            std::vector<DWORD>* pixels = NULL, int* width = NULL, int* height = NULL);

// The preview control's pixels as the display shows them (also saved under
// name); at() gives 0xFFFFFFFF outside.
struct PreviewShot {
    std::vector<DWORD> pixels;
    int width = 0, height = 0;
    DWORD at(int x, int y) const
    {
        return x < 0 || y < 0 || x >= width || y >= height ? 0xFFFFFFFF : pixels[(size_t)y * width + x];
    }
    // A pixel of the image square (the control less its 3-pixel frame) at
    // fractions of its side.
    DWORD in_square(double fx, double fy) const
    {
        int side = width - 6;
        return at(3 + (int)(fx * side), 3 + (int)(fy * side));
    }
};
PreviewShot preview_shot(const RunningApp& app, const char* name);

// The run of pixels of that colour through the shot's centre, across and
// down: left, top, right, bottom (inclusive).
RECT colour_extent(const PreviewShot& shot, DWORD colour);

// Where the black lines 1 and 3 pixels outside the one-coloured picture at
// the shot's centre are not black ("inner top", "outer left", ...): empty
// when the picture lies exactly in its frame.
std::vector<std::string> frame_line_gaps(const PreviewShot& shot);

// Presses a dialog's button as a click does.
void click_button(HWND dialog, int id);

// Sends a menu command to the main window and gives it time to show.
void send_main_command(const RunningApp& app, int id);

// Waits for the window to go away; false when it stays past wait_ms.
bool wait_until_closed(HWND hwnd, DWORD wait_ms = 10000);

// The window's text once it reads wanted, or what it reads after wait_ms.
std::string wait_for_window_text(HWND hwnd, const std::string& wanted, DWORD wait_ms = 5000);

// Every colour channel of a and b (0x00RRGGBB) within tolerance.
bool colours_close(DWORD a, DWORD b, int tolerance);

// Fills (0, 0) to (right, bottom) with red and no outline, as the
// metafile tests draw their pictures.
void paint_red_box(HDC dc, int right, int bottom);

// Opens the image window by the main window's Center or Tile button.
HWND open_image_window(const RunningApp& app, int button);

// The image window as shown: its client pixels above the status bar.
struct ImageAreaShot {
    std::vector<DWORD> pixels;
    int width = 0, height = 0;    // the whole window
    int left = 0, top = 0;        // client origin in the shot
    int area_w = 0, area_h = 0;   // client less the status bar
    DWORD at(int x, int y) const
    {
        x += left;
        y += top;
        return x < 0 || y < 0 || x >= width || y >= height ? 0xFFFFFFFF : pixels[(size_t)y * width + x];
    }
    DWORD middle() const { return at(area_w / 2, area_h / 2); }
};
ImageAreaShot shoot_image_area(HWND window, const std::string& name);

// Copies a fixture made by tests/fixtures/make_regress.sh into folder.
bool copy_regress_fixture(const std::string& name, const std::string& folder);

// A pixel of the preview's image square (the control less its 3-pixel
// frame) at fractions of its side, as the display shows it; 0xFFFFFFFF
// when it cannot be captured.
DWORD preview_pixel(const RunningApp& app, const std::string& shot, double fx, double fy);

// Runs xdotool with the actions on the test's X display (real pointer moves
// and keys, as a person makes them). The Linux program cannot be waited
// for from here, so this gives it time (1.5 s).
void x_input(const std::string& actions);
