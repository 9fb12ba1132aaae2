// Win32 driver of the end-to-end tests (see e2e_driver.h).
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "image/file_hold.h"
#include "resources/resource.h"
#include "tests/support/fresh_output.h"

static const char PROGRAM_TITLE[] = "Corvane Graphics' File Viewer";

static std::string env_or(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

static void make_folders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/' || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
}

// The check scripts after the run read the work folder: only this run's files.
static ::testing::Environment* const s_fresh_work =
    ::testing::AddGlobalTestEnvironment(new FreshOutputFolder("CORVANE_E2E_DIR"));

std::string e2e_work_dir(const std::string& sub)
{
    std::string dir = env_or("CORVANE_E2E_DIR", "e2e-work") + "/" + sub;
    for (char& c : dir)
        if (c == '/')
            c = '\\';
    make_folders(dir);
    return dir;
}

std::string settings_file_path()
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\Corvane.ini";
}

ScopedSetting::ScopedSetting(const char* key, const char* value) : key(key)
{
    WritePrivateProfileStringA("Corvane", key, value, settings_file_path().c_str());
}

ScopedSetting::~ScopedSetting()
{
    WritePrivateProfileStringA("Corvane", key, NULL, settings_file_path().c_str());
}

std::string read_whole_file(const std::string& path)
{
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    std::fclose(f);
    return text;
}

bool write_whole_file(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

bool file_exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string file_stamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return "";
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%lu:%lu %lu:%lu", data.nFileSizeHigh, data.nFileSizeLow,
                  data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

uint64_t file_size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

bool wait_file_replaced(const std::string& path, const std::string& stamp, DWORD wait_ms)
{
    // A file rewritten by copying a temporary copy back changes its stamp
    // when the copy starts: it is replaced once no one writes it (an open
    // that shares only reading fails while a writer holds it) and its stamp
    // stood still between two looks.
    std::string last;
    return wait_for(
        [&] {
            std::string now = file_stamp(path);
            HANDLE file = now.empty() || now == stamp
                              ? INVALID_HANDLE_VALUE
                              : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
            if (file == INVALID_HANDLE_VALUE) {
                last.clear();
                return false;
            }
            CloseHandle(file);
            bool settled = now == last;
            last = now;
            return settled;
        },
        wait_ms);
}

bool copy_fixture(const std::string& name, const std::string& folder, const char* set)
{
    std::string source = env_or("CORVANE_FIXTURES", "fixtures") + "/" + set + "/" + name;
    return CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE) != 0;
}

HWND find_process_window(DWORD pid, const char* class_name, HWND excluded, DWORD wait_ms, const char* title)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        HWND w = NULL;
        while ((w = FindWindowExA(NULL, w, class_name, title)) != NULL) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid && w != excluded && IsWindowVisible(w))
                return w;
        }
        if (GetTickCount() - start >= wait_ms)
            return NULL;
    }
}

// The program the running test drives, for the account of a failure.
static RunningApp* s_running;

// Ends the program if it still runs: its exit code, or -1 when it had to
// be killed.
static int end_app(RunningApp& app, DWORD wait_ms = 15000)
{
    if (s_running == &app)
        s_running = NULL;
    if (!app.process.hProcess)
        return -1;
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(app.process.hProcess, wait_ms) == WAIT_OBJECT_0) {
        GetExitCodeProcess(app.process.hProcess, &code);
    } else {
        TerminateProcess(app.process.hProcess, 99);
        WaitForSingleObject(app.process.hProcess, 5000);
    }
    CloseHandle(app.process.hThread);
    CloseHandle(app.process.hProcess);
    app.process = PROCESS_INFORMATION();
    app.main = NULL;
    return (int)code;
}

RunningApp::~RunningApp()
{
    end_app(*this, 0);
}

bool start_app(const std::string& arguments, const std::string& work_dir, RunningApp& app)
{
    std::string exe = env_or("CORVANE_EXE", "Corvane.exe");
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty())
        command += " " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL,
                        work_dir.empty() ? NULL : work_dir.c_str(), &si, &app.process))
        return false;
    s_running = &app;
    WaitForInputIdle(app.process.hProcess, 20000);
    // The main window shows once its first messages are handled; a message
    // box of the first load can come before it.
    HWND first = find_process_window(app.process.dwProcessId, "#32770", NULL, 30000);
    if (first && window_text(first) == PROGRAM_TITLE)
        app.main = first;
    if (!first) {
        end_app(app, 0);
        return false;
    }
    // Let the dialog finish filling its lists.
    Sleep(300);
    return true;
}

int exit_by_button(RunningApp& app)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_EXIT, BN_CLICKED),
                 (LPARAM)GetDlgItem(app.main, IDC_MAIN_EXIT));
    return end_app(app);
}

bool wait_for_main(RunningApp& app, DWORD wait_ms)
{
    if (!app.main)
        app.main = find_process_window(app.process.dwProcessId, "#32770", NULL, wait_ms, PROGRAM_TITLE);
    if (app.main)
        Sleep(300);
    return app.main != NULL;
}

// The dialog's controls are Unicode windows in another process: their texts
// are asked for with the wide messages and narrowed here.
static std::string narrow(const wchar_t* text)
{
    char buffer[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return buffer;
}

std::string dismiss_message_box(const RunningApp& app, DWORD wait_ms, std::string* caption)
{
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, wait_ms);
    if (!box)
        return "";
    std::string text = window_text(GetDlgItem(box, 0xFFFF));
    if (caption)
        *caption = window_text(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i)
        Sleep(50);
    return text;
}

std::string window_text(HWND hwnd)
{
    wchar_t text[1024] = L"";
    DWORD_PTR result = 0;
    // Not SMTO_ABORTIFHUNG: a program that has just come back from a play
    // of seconds counts as hung until it next asks for a message, and the
    // text would read as empty.
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, (LPARAM)text, SMTO_NORMAL, 5000, &result);
    return narrow(text);
}

std::vector<std::string> list_box_items(HWND list)
{
    std::vector<std::string> items;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[512] = L"";
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 512)
            SendMessageW(list, LB_GETTEXT, i, (LPARAM)text);
        items.push_back(narrow(text));
    }
    return items;
}

std::string status_bar_part_text(const RunningApp& app, HWND bar, int part)
{
    const SIZE_T size = 1024;
    void* remote = VirtualAllocEx(app.process.hProcess, NULL, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return "";
    char text[size] = "";
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(bar, SB_GETTEXTLENGTHA, part, 0, SMTO_NORMAL, 5000, &length) &&
        LOWORD(length) < size) {
        DWORD_PTR ignored;
        SendMessageTimeoutA(bar, SB_GETTEXTA, part, (LPARAM)remote, SMTO_NORMAL, 5000, &ignored);
        SIZE_T got = 0;
        ReadProcessMemory(app.process.hProcess, remote, text, size - 1, &got);
    }
    VirtualFreeEx(app.process.hProcess, remote, 0, MEM_RELEASE);
    return text;
}

void select_list_entry(const RunningApp& app, int index)
{
    HWND list = GetDlgItem(app.main, 1120);
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(1120, LBN_SELCHANGE), (LPARAM)list);
    DWORD_PTR ignored;
    SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

bool select_list_file(const RunningApp& app, const std::string& name)
{
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, 1120));
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == name) {
            select_list_entry(app, (int)i);
            return true;
        }
    return false;
}

void press_enter_in(const RunningApp& app, int id)
{
    HWND control = GetDlgItem(app.main, id);
    SendMessageA(app.main, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
    PostMessageA(control, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(control, WM_KEYUP, VK_RETURN, 0);
}

void double_click_entry(HWND list, int entry)
{
    SendMessageA(list, LB_SETTOPINDEX, entry, 0);
    int height = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    int y = (entry - (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0)) * height + height / 2;
    for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        PostMessageA(list, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(8, y));
}

bool go_into_sub(const RunningApp& app, const std::vector<std::string>& listed)
{
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST), folders = GetDlgItem(app.main, IDC_MAIN_DIR_LIST);
    std::vector<std::string> parts;
    auto sub = parts.end();
    wait_for([&] {
        parts = list_box_items(folders);
        return (sub = std::find(parts.begin(), parts.end(), "[sub]")) != parts.end();
    });
    if (sub == parts.end())
        return false;
    double_click_entry(folders, (int)(sub - parts.begin()));
    return wait_for([&] { return list_box_items(files) == listed; });
}

bool is_visible(HWND hwnd)
{
    if (!hwnd || !IsWindowVisible(hwnd))
        return false;
    RECT r;
    GetWindowRect(hwnd, &r);
    return r.right > r.left && r.bottom > r.top;
}

bool wait_hidden(HWND hwnd, DWORD wait_ms)
{
    DWORD start = GetTickCount();
    while (is_visible(hwnd)) {
        if (GetTickCount() - start >= wait_ms)
            return false;
        Sleep(50);
    }
    return true;
}

// A Unix program started from Wine, not waited for (Wine cannot wait for
// one); false when it cannot start.
static bool start_unix_program(const std::string& command)
{
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

// ImageMagick's binary PPM (P6, 8 bits) as 0x00RRGGBB pixels, top row first.
static bool read_ppm(const std::string& path, std::vector<DWORD>& pixels, int& width, int& height)
{
    std::string data = read_whole_file(path);
    int maxval = 0, used = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &used) != 3 || maxval != 255 ||
        width <= 0 || height <= 0 || width > 10000 || height > 10000 ||
        data.size() < (size_t)used + 1 + (size_t)width * height * 3)
        return false;
    const unsigned char* p = (const unsigned char*)data.data() + used + 1;
    pixels.resize((size_t)width * height);
    for (size_t i = 0; i < pixels.size(); ++i, p += 3)
        pixels[i] = (DWORD)p[0] << 16 | p[1] << 8 | p[2];
    return true;
}

std::string unix_path(std::string path)
{
    if (path.size() > 2 && path[1] == ':')
        path = path.substr(2);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

// Wine's screen device context does not show other processes' windows, so
// the picture is taken from the X display by ImageMagick's import; the
// driver polls for the finished file.
Shot shoot(HWND hwnd, const std::string& name)
{
    Shot shot;
    // A maximized window reaches past the screen's edges: the part on the
    // screen is taken, and the window's corner is kept as the origin.
    RECT r, screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, on_screen;
    GetWindowRect(hwnd, &r);
    if (!IntersectRect(&on_screen, &r, &screen))
        return shot;
    int w = on_screen.right - on_screen.left, h = on_screen.bottom - on_screen.top;
    // Let the program finish painting.
    DWORD_PTR ignored;
    SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(400);

    std::string dir = env_or("CORVANE_SCREENSHOTS", "screenshots");
    make_folders(dir);
    std::string png = dir + "/" + name + ".png", ppm = dir + "/" + name + ".ppm";
    DeleteFileA(ppm.c_str());
    std::string upng = unix_path(png), uppm = unix_path(ppm);
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, "%dx%d+%ld+%ld", w, h, on_screen.left, on_screen.top);
    if (!start_unix_program("Z:\\bin\\sh -c \"/usr/bin/import -window root -crop " + std::string(geometry) +
                            " +repage '" + upng + "' && /usr/bin/convert '" + upng + "' -depth 8 'ppm:" + uppm +
                            ".tmp' && mv '" + uppm + ".tmp' '" + uppm + "'\""))
        return shot;
    for (int i = 0; i < 200 && GetFileAttributesA(ppm.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    if (!read_ppm(ppm, shot.pixels, shot.width, shot.height))
        shot.pixels.clear();
    shot.left = r.left - on_screen.left;
    shot.top = r.top - on_screen.top;
    shot.area_w = shot.width;
    shot.area_h = shot.height;
    return shot;
}

Shot preview_shot(const RunningApp& app, const char* name)
{
    return shoot(GetDlgItem(app.main, IDC_MAIN_PREVIEW), name);
}

Shot shot_when(const std::function<Shot()>& take, const std::function<bool(const Shot&)>& ready, DWORD wait_ms)
{
    DWORD start = GetTickCount();
    Shot shot = take();
    while (!ready(shot) && GetTickCount() - start < wait_ms)
        shot = take();
    return shot;
}

bool wait_for(const std::function<bool()>& ready, DWORD wait_ms)
{
    for (DWORD start = GetTickCount(); !ready(); Sleep(50))
        if (GetTickCount() - start >= wait_ms)
            return ready();
    return true;
}

RECT colour_extent(const Shot& s, DWORD colour)
{
    int cx = s.area_w / 2, cy = s.area_h / 2;
    RECT r = {cx, cy, cx, cy};
    while (s.at(cx, r.top - 1) == colour)
        --r.top;
    while (s.at(cx, r.bottom + 1) == colour)
        ++r.bottom;
    while (s.at(r.left - 1, cy) == colour)
        --r.left;
    while (s.at(r.right + 1, cy) == colour)
        ++r.right;
    return r;
}

std::vector<std::string> frame_line_gaps(const Shot& s)
{
    int cx = s.area_w / 2, cy = s.area_h / 2;
    RECT r = colour_extent(s, s.at(cx, cy));
    struct Probe {
        int x, y;
        const char* where;
    } probes[] = {
        {cx, r.top - 1, "inner top"},       {cx, r.top - 3, "outer top"},
        {cx, r.bottom + 1, "inner bottom"}, {cx, r.bottom + 3, "outer bottom"},
        {r.left - 1, cy, "inner left"},     {r.left - 3, cy, "outer left"},
        {r.right + 1, cy, "inner right"},   {r.right + 3, cy, "outer right"},
    };
    std::vector<std::string> gaps;
    for (const Probe& p : probes)
        if (s.at(p.x, p.y) != 0)
            gaps.push_back(p.where);
    return gaps;
}

DWORD preview_pixel(const RunningApp& app, const std::string& shot, double fx, double fy)
{
    return preview_shot(app, shot.c_str()).in_square(fx, fy);
}

HWND wait_dialog(const RunningApp& app, const char* title, DWORD wait_ms)
{
    // The main window is a dialog too, and a box may carry its title.
    return find_process_window(app.process.dwProcessId, "#32770", app.main, wait_ms, title);
}

std::string box_text(HWND box)
{
    // A box can be seen before its text is set: wait a little for it.
    std::string text;
    for (DWORD start = GetTickCount(); text.empty() && GetTickCount() - start < 3000; Sleep(text.empty() ? 50 : 0)) {
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char cls[32] = "";
            GetClassNameA(child, cls, sizeof cls);
            if (lstrcmpiA(cls, "Static") == 0)
                text += window_text(child);
        }
        if (!IsWindow(box))
            break;
    }
    return text;
}

void click_button(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

HWND type_merge_file(const RunningApp& app, const std::string& name)
{
    HWND dialog = wait_dialog(app, "Merge Image from File", 10000);
    if (!dialog)
        return NULL;
    // The file-name box: a combo box (cmb13) or an edit control (edt1).
    HWND box = GetDlgItem(dialog, 0x47C);
    SendMessageA(box ? box : GetDlgItem(dialog, 0x480), WM_SETTEXT, 0, (LPARAM)name.c_str());
    click_button(dialog, IDOK);
    return dialog;
}

bool choose_merge_file(const RunningApp& app, const char* name)
{
    HWND dialog = type_merge_file(app, name);
    return dialog && wait_until_closed(dialog, 5000);
}

static std::vector<HWND> program_boxes(DWORD pid, HWND main);
static std::string open_boxes(DWORD pid, HWND main);

static DWORD WINAPI send_command(void* command)
{
    MSG* m = (MSG*)command;
    SendMessageA(m->hwnd, WM_COMMAND, m->wParam, 0);
    delete m;
    return 0;
}

void send_main_command(const RunningApp& app, int id)
{
    // Sent from a thread of its own: meanwhile this one fails the test on a
    // box the command waits on and closes it, so that the command returns.
    const std::vector<HWND> before = program_boxes(app.process.dwProcessId, app.main);
    HANDLE sender = CreateThread(NULL, 0, send_command, new MSG{app.main, WM_COMMAND, MAKEWPARAM(id, 0)}, 0, NULL);
    for (DWORD start = GetTickCount(); sender && WaitForSingleObject(sender, 50) == WAIT_TIMEOUT;) {
        for (HWND box : program_boxes(app.process.dwProcessId, app.main))
            if (std::find(before.begin(), before.end(), box) == before.end()) {
                ADD_FAILURE() << "command " << id << " opened a box:" << open_boxes(app.process.dwProcessId, app.main);
                PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                wait_until_closed(box, 5000);
            }
        // A command that never returns is left to the program's end.
        if (GetTickCount() - start > 120000) {
            ADD_FAILURE() << "command " << id << " did not return";
            break;
        }
    }
    if (sender)
        CloseHandle(sender);
    Sleep(300);
}

void answer_boxes(const RunningApp& app, std::vector<std::string>* seen, size_t boxes)
{
    while (seen->size() <= boxes) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 8000);
        if (!box)
            break;
        seen->push_back(window_text(box) + "|" + box_text(box));
        click_button(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
        wait_until_closed(box);
    }
}

void answer_boxes_with(const RunningApp& app, std::vector<std::string>* seen, const std::vector<int>& buttons,
                       HWND over)
{
    for (int button : buttons) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 8000);
        if (!box)
            break;
        std::string text = window_text(box) + "|" + box_text(box);
        if (over && !is_owned_over(box, over))
            text += " (not over the window)";
        // The system's box takes any button's id, shown or not. Button 0:
        // Enter, which the box's dialog manager takes for its default.
        HWND control = button ? GetDlgItem(box, button) : box;
        if (!control || !IsWindowVisible(control))
            text += " (no such button)";
        seen->push_back(text);
        if (button)
            click_button(box, button);
        else
            PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
        wait_until_closed(box);
    }
}

bool is_owned_over(HWND window, HWND over)
{
    for (HWND owner = GetWindow(window, GW_OWNER); owner; owner = GetWindow(owner, GW_OWNER))
        if (owner == over)
            return true;
    return false;
}

std::vector<std::string> run_dialog_command(const RunningApp& app, HWND owner, int command, const char* title,
                                            const std::string& target, size_t boxes, bool cancel)
{
    PostMessageA(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    std::vector<std::string> seen(1);
    if (title) {
        // A conversion's folder chooser has a title the system chooses.
        HWND dialog = title[0] ? wait_dialog(app, title)
                               : find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
        if (!dialog)
            return {std::string("no dialog ") + title};
        seen[0] = window_text(GetDlgItem(dialog, IDOK));
        if (!target.empty())
            SendMessageA(GetDlgItem(dialog, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
        click_button(dialog, cancel ? IDCANCEL : IDOK);
        wait_until_closed(dialog);
    }
    answer_boxes(app, &seen, boxes);
    Sleep(700);
    return seen;
}

bool wait_until_closed(HWND hwnd, DWORD wait_ms)
{
    for (DWORD waited = 0; IsWindow(hwnd) && waited < wait_ms; waited += 50)
        Sleep(50);
    return !IsWindow(hwnd);
}

std::string wait_for_window_text(HWND hwnd, const std::string& wanted, DWORD wait_ms)
{
    std::string text = window_text(hwnd);
    for (DWORD waited = 0; text != wanted && waited < wait_ms; waited += 50) {
        Sleep(50);
        text = window_text(hwnd);
    }
    return text;
}

bool colours_close(DWORD a, DWORD b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return true;
}

void paint_red_box(HDC dc, int right, int bottom)
{
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old_brush = SelectObject(dc, red);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, right + 1, bottom + 1);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(red);
}

void write_wmf_of_own_window(const std::string& path)
{
    HDC dc = CreateMetaFileA(path.c_str());
    SetWindowExtEx(dc, 800, 600, NULL);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, blue);
    Rectangle(dc, 100, 100, 700, 500);
    SelectObject(dc, red);
    Ellipse(dc, 200, 150, 600, 450);
    DeleteMetaFile(CloseMetaFile(dc));
    DeleteObject(blue);
    DeleteObject(red);
}

HWND open_image_window(const RunningApp& app, int button)
{
    click_button(app.main, button);
    HWND view = find_process_window(app.process.dwProcessId, "Meta", NULL, 15000);
    Sleep(500);
    return view;
}

Shot shoot_client(HWND window, const std::string& name)
{
    Shot s = shoot(window, name);
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    s.left += origin.x - outer.left;
    s.top += origin.y - outer.top;
    s.area_w = client.right;
    s.area_h = client.bottom;
    if (HWND bar = FindWindowExA(window, NULL, "msctls_statusbar32", NULL)) {
        RECT r;
        GetWindowRect(bar, &r);
        s.area_h -= r.bottom - r.top;
    }
    return s;
}

void run_unix_command(const std::string& command)
{
    // Wine cannot wait for a Unix program: the shell notes its end in a file.
    std::string dir = env_or("CORVANE_SCREENSHOTS", "screenshots");
    make_folders(dir);
    std::string done = dir + "/unix_command.done";
    DeleteFileA(done.c_str());
    if (!start_unix_program("Z:\\bin\\sh -c \"" + command + "; touch '" + unix_path(done) + "'\""))
        return;
    for (DWORD start = GetTickCount(); !file_exists(done) && GetTickCount() - start < 30000;)
        Sleep(50);
}

void x_input(const std::string& actions)
{
    run_unix_command("/usr/bin/xdotool " + actions);
}

static UINT_PTR x_window(HWND hwnd)
{
    return (UINT_PTR)GetPropA(hwnd, "__wine_x11_whole_window");
}

// The property as xprop prints it ("NAME(TYPE) = ..."); empty when it
// cannot be read.
static std::string x_property(HWND hwnd, const char* name)
{
    std::string dir = env_or("CORVANE_SCREENSHOTS", "screenshots");
    make_folders(dir);
    std::string out = dir + "/x_property.txt";
    DeleteFileA(out.c_str());
    const UINT_PTR window = x_window(hwnd);
    if (!window || !start_unix_program("Z:\\bin\\sh -c \"/usr/bin/xprop -id " + std::to_string(window) + " " + name +
                                       " > '" + unix_path(out) + ".tmp' && mv '" + unix_path(out) + ".tmp' '" +
                                       unix_path(out) + "'\""))
        return "";
    wait_for([&] { return file_exists(out); });
    return read_whole_file(out);
}

bool x_transient_for(HWND window, HWND over)
{
    const std::string hint = x_property(window, "WM_TRANSIENT_FOR");
    const size_t at = hint.find('#');
    return at != std::string::npos && x_window(over) &&
           std::strtoul(hint.c_str() + at + 1, NULL, 16) == (unsigned long)x_window(over);
}

HWND wait_for_media_window(HWND main, DWORD wait_ms)
{
    for (DWORD waited = 0; waited <= wait_ms; waited += 100) {
        HWND media = FindWindowExA(main, NULL, "MCIWndClass", NULL);
        if (media && IsWindowVisible(media))
            return media;
        Sleep(100);
    }
    return NULL;
}

HWND open_batch_window_clicking(const RunningApp& app, int cell)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BATCH, 0), 0);
    HWND batch = find_process_window(app.process.dwProcessId, "Batch", NULL, 15000);
    // The status bar comes after the window, and its count once the cells
    // are laid out.
    HWND status = NULL;
    if (!batch || !wait_for([&] { return (status = FindWindowExA(batch, NULL, STATUSCLASSNAMEA, NULL)) != NULL; },
                            15000) ||
        !wait_for([&] { return status_bar_part_text(app, status, 2).find(" Total Images") != std::string::npos; },
                  20000))
        return NULL;
    // 168-pixel frames spread over the client area above the status bar.
    RECT client, bar;
    GetClientRect(batch, &client);
    GetWindowRect(status, &bar);
    int height = client.bottom - (bar.bottom - bar.top);
    int cols = client.right / 168, rows = height / 168;
    int cell_w = client.right / cols, cell_h = height / rows;
    int x = (client.right - cols * cell_w) / 2 + (cell % cols) * cell_w + cell_w / 2;
    int y = (height - rows * cell_h) / 2 + (cell / cols) * cell_h + cell_h / 2;
    // Sent, so that the click has been taken when this returns.
    DWORD_PTR ignored;
    SendMessageTimeoutA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &ignored);
    SendMessageTimeoutA(batch, WM_LBUTTONUP, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &ignored);
    return batch;
}

// ---- the account of a failure

// Every dialog and box of the program besides its main window that shows.
static std::vector<HWND> program_boxes(DWORD pid, HWND main)
{
    std::vector<HWND> boxes;
    for (HWND w = NULL; (w = FindWindowExA(NULL, w, "#32770", NULL)) != NULL;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && w != main && IsWindowVisible(w))
            boxes.push_back(w);
    }
    return boxes;
}

// "title: text" of each of them.
static std::string open_boxes(DWORD pid, HWND main)
{
    std::string boxes;
    for (HWND w : program_boxes(pid, main)) {
        std::string text;
        for (HWND child = GetWindow(w, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char cls[32] = "";
            GetClassNameA(child, cls, sizeof cls);
            if (lstrcmpiA(cls, "Static") == 0)
                text += window_text(child);
        }
        boxes += " [" + window_text(w) + ": " + text + "]";
    }
    return boxes.empty() ? " none" : boxes;
}

// One line: each window of the program and whether it takes input, whether
// the file hold is on, and the dialogs and boxes it shows.
static std::string program_state(void)
{
    if (!s_running || !s_running->process.hProcess)
        return "no program running";
    if (WaitForSingleObject(s_running->process.hProcess, 0) == WAIT_OBJECT_0)
        return "the program has ended";
    DWORD pid = s_running->process.dwProcessId;
    HWND main = s_running->main;
    if (!main)
        main = find_process_window(pid, "#32770", NULL, 0, PROGRAM_TITLE);
    auto state = [](HWND w) -> std::string { return !w ? "none" : IsWindowEnabled(w) ? "enabled" : "disabled"; };
    std::string line = "main " + state(main);
    const struct {
        const char* name;
        const char* window_class;
    } windows[] = {{"image", "Meta"}, {"batch", "Batch"}, {"full-screen", "Full"}, {"slideshow", "Slide"}};
    for (const auto& w : windows)
        line += std::string(", ") + w.name + " " + state(find_process_window(pid, w.window_class, NULL, 0));
    line += std::string(", hold ") + (main && GetPropA(main, FILE_HOLD_PROPERTY) ? "on" : "off");
    return line + "; boxes:" + open_boxes(pid, main);
}

// At every failed assertion of a test: the line above, and a shot of the
// whole display for the first few, in the screenshots folder.
class FailureAccount : public ::testing::EmptyTestEventListener {
    int shots_ = 0;
    void OnTestStart(const ::testing::TestInfo&) override { shots_ = 0; }
    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (!result.failed())
            return;
        std::string line = program_state();
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        if (test && shots_ < 3) {
            std::string name = std::string("failed_") + test->test_suite_name() + "." + test->name() + "_" +
                               std::to_string(++shots_);
            for (char& c : name)
                if (c == '/' || c == '\\' || c == ':')
                    c = '_';
            shoot(GetDesktopWindow(), name);
            line += " (screen: " + name + ".png)";
        }
        std::printf("[  STATE   ] %s\n", line.c_str());
        std::fflush(stdout);
    }
};

static const bool s_account_added = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FailureAccount);
    return true;
}();
