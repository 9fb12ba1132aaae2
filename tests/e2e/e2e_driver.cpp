// Win32 driver of the end-to-end tests (see e2e_driver.h).
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "resources/resource.h"

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

bool copy_fixture(const std::string& name, const std::string& folder)
{
    std::string source = env_or("CORVANE_FIXTURES", "fixtures") + "/e2e/" + name;
    return CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE) != 0;
}

struct FindData {
    DWORD pid;
    const char* class_name;
    const char* title;
    HWND excluded;
    HWND found;
};

static BOOL CALLBACK find_window_proc(HWND hwnd, LPARAM lp)
{
    FindData* data = (FindData*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != data->pid || hwnd == data->excluded || !IsWindowVisible(hwnd))
        return TRUE;
    if (data->class_name) {
        char name[64] = "";
        GetClassNameA(hwnd, name, sizeof name);
        if (lstrcmpiA(name, data->class_name) != 0)
            return TRUE;
    }
    if (data->title && window_text(hwnd) != data->title)
        return TRUE;
    data->found = hwnd;
    return FALSE;
}

HWND find_process_window(DWORD pid, const char* class_name, HWND excluded, DWORD wait_ms, const char* title)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindData data = {pid, class_name, title, excluded, NULL};
        EnumWindows(find_window_proc, (LPARAM)&data);
        if (data.found)
            return data.found;
        if (GetTickCount() - start >= wait_ms)
            return NULL;
        Sleep(50);
    }
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

bool wait_for_main(RunningApp& app, DWORD wait_ms)
{
    if (!app.main)
        app.main = find_process_window(app.process.dwProcessId, "#32770", NULL, wait_ms, PROGRAM_TITLE);
    if (app.main)
        Sleep(300);
    return app.main != NULL;
}

int wait_exit(RunningApp& app, DWORD wait_ms)
{
    if (!app.process.hProcess)
        return -1;
    if (WaitForSingleObject(app.process.hProcess, wait_ms) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(app.process.hProcess, &code);
    return (int)code;
}

int exit_by_button(RunningApp& app)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_EXIT, BN_CLICKED),
                 (LPARAM)GetDlgItem(app.main, IDC_MAIN_EXIT));
    return end_app(app);
}

RunningApp::~RunningApp()
{
    end_app(*this, 0);
}

int end_app(RunningApp& app, DWORD wait_ms)
{
    if (!app.process.hProcess)
        return -1;
    int code = wait_exit(app, wait_ms);
    if (code == -1) {
        TerminateProcess(app.process.hProcess, 99);
        WaitForSingleObject(app.process.hProcess, 5000);
    }
    CloseHandle(app.process.hThread);
    CloseHandle(app.process.hProcess);
    app.process = PROCESS_INFORMATION();
    app.main = NULL;
    return code;
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
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &result);
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

std::string combo_selection_text(HWND combo)
{
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return "";
    wchar_t text[512] = L"";
    if (SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) < 512)
        SendMessageW(combo, CB_GETLBTEXT, index, (LPARAM)text);
    return narrow(text);
}

std::string status_bar_part_text(const RunningApp& app, HWND bar, int part)
{
    const SIZE_T size = 1024;
    void* remote = VirtualAllocEx(app.process.hProcess, NULL, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return "";
    char text[size] = "";
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(bar, SB_GETTEXTLENGTHA, part, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
        LOWORD(length) < size) {
        DWORD_PTR ignored;
        SendMessageTimeoutA(bar, SB_GETTEXTA, part, (LPARAM)remote, SMTO_ABORTIFHUNG, 5000, &ignored);
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

// Wine's screen device context does not show other processes' windows, so
// the picture is taken from the X display by ImageMagick's import, started
// as a Unix program; the driver polls for the finished file since Wine
// cannot wait for a Unix process.
static bool read_bmp24(const std::string& path, std::vector<DWORD>& pixels, int& width, int& height)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    bool ok = std::fread(&fh, sizeof fh, 1, f) == 1 && std::fread(&ih, sizeof ih, 1, f) == 1 &&
              fh.bfType == 0x4D42 && ih.biBitCount == 24 && ih.biWidth > 0 && ih.biHeight > 0 &&
              ih.biWidth <= 10000 && ih.biHeight <= 10000;
    if (ok) {
        width = ih.biWidth;
        height = ih.biHeight;
        size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
        std::vector<unsigned char> row(stride);
        pixels.assign((size_t)width * height, 0);
        std::fseek(f, fh.bfOffBits, SEEK_SET);
        for (int y = height - 1; y >= 0 && ok; --y) {
            ok = std::fread(row.data(), 1, stride, f) == stride;
            for (int x = 0; x < width; ++x)
                pixels[(size_t)y * width + x] =
                    row[x * 3] | (row[x * 3 + 1] << 8) | ((DWORD)row[x * 3 + 2] << 16);
        }
    }
    std::fclose(f);
    return ok;
}

static std::string unix_path(std::string path)
{
    if (path.size() > 2 && path[1] == ':')
        path = path.substr(2);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::string save_screenshot(HWND hwnd, const std::string& name,
                            std::vector<DWORD>* pixels, int* width, int* height)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return "";
    // Let the program finish painting.
    DWORD_PTR ignored;
    SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(400);

    std::string dir = env_or("CORVANE_SCREENSHOTS", "screenshots");
    make_folders(dir);
    std::string png = dir + "/" + name + ".png";
    std::string bmp = dir + "/" + name + ".bmp";
    DeleteFileA(bmp.c_str());
    std::string upng = unix_path(png), ubmp = unix_path(bmp);
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, "%dx%d+%ld+%ld", w, h, r.left, r.top);
    std::string command = "Z:\\bin\\sh -c \"/usr/bin/import -window root -crop " + std::string(geometry) +
                          " +repage '" + upng + "' && /usr/bin/convert '" + upng + "' -type TrueColor 'bmp3:" + ubmp +
                          ".tmp' && mv '" + ubmp + ".tmp' '" + ubmp + "'\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return "";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 200 && GetFileAttributesA(bmp.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);

    std::vector<DWORD> local;
    int local_w = 0, local_h = 0;
    if (!read_bmp24(bmp, local, local_w, local_h))
        return "";
    if (pixels)
        pixels->swap(local);
    if (width)
        *width = local_w;
    if (height)
        *height = local_h;
    return png;
}

PreviewShot preview_shot(const RunningApp& app, const char* name)
{
    PreviewShot s;
    save_screenshot(GetDlgItem(app.main, IDC_MAIN_PREVIEW), name, &s.pixels, &s.width, &s.height);
    return s;
}

RECT colour_extent(const PreviewShot& s, DWORD colour)
{
    int cx = s.width / 2, cy = s.height / 2;
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

std::vector<std::string> frame_line_gaps(const PreviewShot& s)
{
    int cx = s.width / 2, cy = s.height / 2;
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

bool copy_regress_fixture(const std::string& name, const std::string& folder)
{
    std::string source = env_or("CORVANE_FIXTURES", "fixtures") + "/regress/" + name;
    return CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE) != 0;
}

DWORD preview_pixel(const RunningApp& app, const std::string& shot, double fx, double fy)
{
    return preview_shot(app, shot.c_str()).in_square(fx, fy);
}

HWND wait_dialog(const RunningApp& app, const char* title, DWORD wait_ms)
{
    return find_process_window(app.process.dwProcessId, "#32770", NULL, wait_ms, title);
}

std::string box_text(HWND box)
{
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[32] = "";
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0)
            text += window_text(child);
    }
    return text;
}

void click_button(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void send_main_command(const RunningApp& app, int id)
{
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Sleep(300);
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

HWND open_image_window(const RunningApp& app, int button)
{
    click_button(app.main, button);
    HWND view = find_process_window(app.process.dwProcessId, "Meta", NULL, 15000);
    Sleep(500);
    return view;
}

ImageAreaShot shoot_image_area(HWND window, const std::string& name)
{
    ImageAreaShot s;
    save_screenshot(window, name, &s.pixels, &s.width, &s.height);
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    s.left = origin.x - outer.left;
    s.top = origin.y - outer.top;
    s.area_w = client.right;
    s.area_h = client.bottom;
    if (HWND bar = FindWindowExA(window, NULL, "msctls_statusbar32", NULL)) {
        RECT r;
        GetWindowRect(bar, &r);
        s.area_h -= r.bottom - r.top;
    }
    return s;
}

void x_input(const std::string& actions)
{
    std::string command = "/usr/bin/xdotool " + actions;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    Sleep(1500);
}
