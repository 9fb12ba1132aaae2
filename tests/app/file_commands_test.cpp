// A move or rename that stays in the list's folder reports 2, so that the
// caller selects the entry at the file's former place; a failed delete is
// reported to the window that asked; a copy onto the file itself is refused
// before the system is asked.
#include "app/file_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/current_image.h"
#include "support/import_hook.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "viewer/window_classes.h"

TEST(FileTarget, SameFolderIgnoresCaseAndATrailingBackslash)
{
    struct {
        const char* folder;
        const char* target;
        int same;
    } const rows[] = {
        {"C:\\pics", "C:\\pics\\b.jpg", 1},
        {"C:\\pics\\", "C:\\PICS\\b.jpg", 1},
        {"C:\\pics", "C:\\pics\\sub\\b.jpg", 0},
        {"C:\\pics", "C:\\pic\\b.jpg", 0},
        {"C:\\pics", "C:\\picsx\\b.jpg", 0},  // a longer name is another folder
        {"C:\\pics", "b.jpg", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(is_target_in_folder(row.folder, row.target), row.same) << row.folder << " " << row.target;
}

// A delete that fails (the file is held open elsewhere) says so in a box
// owned by the window that asked, the image window as well as the main one
// (a shown window: a hidden one owns no box).
TEST(FileDelete, RefusalIsOwnedByTheAskingWindow)
{
    const std::string path = test_out_path("held_open.bmp");
    ASSERT_TRUE(write_file_bytes(path, "BM held"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HWND asking = CreateWindowA("STATIC", "asking", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(asking, nullptr);
    lstrcpynA(g_fileName, path.c_str(), sizeof g_fileName);
    lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
    g_imageKind = KIND_DIB;
    {
        SeamRecorder seams(32);
        seams.answers.push_back(IDYES);
        run_file_command(asking, FILE_OP_DELETE);
        ASSERT_EQ(seams.boxes.size(), 2u);
        EXPECT_EQ(seams.boxes[0].owner, asking);
        EXPECT_EQ(seams.boxes[1].owner, asking);
        EXPECT_EQ(seams.boxes[1].text, "Unable to Delete: \n\n " + path);
        EXPECT_EQ(seams.boxes[1].caption, "(null)");
    }
    CloseHandle(held);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the file stayed";
    DestroyWindow(asking);
    g_fileName[0] = '\0';
    g_filePath[0] = '\0';
    g_imageKind = KIND_NONE;
}

// The file shown is known by its name as listed; a file dialog that went
// into another folder holding a file of the same name leaves the current
// folder there. Delete removes the file shown, not its namesake.
TEST(FileDelete, ActsOnTheShownFileAfterTheFolderMoved)
{
    const std::string dir = test_out_path("shown_folder"), other = dir + "\\other";
    CreateDirectoryA(dir.c_str(), NULL);
    CreateDirectoryA(other.c_str(), NULL);
    const std::string shown = dir + "\\slide_a.bmp", namesake = other + "\\slide_a.bmp";
    ASSERT_TRUE(write_file_bytes(shown, "BM shown"));
    ASSERT_TRUE(write_file_bytes(namesake, "BM namesake"));
    char before[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectoryA(sizeof before, before));
    lstrcpynA(g_fileName, "slide_a.bmp", sizeof g_fileName);
    lstrcpynA(g_filePath, shown.c_str(), sizeof g_filePath);
    g_imageKind = KIND_DIB;
    ASSERT_TRUE(SetCurrentDirectoryA(other.c_str()));
    {
        SeamRecorder seams(32);
        seams.answers.push_back(IDYES);
        run_file_command(NULL, FILE_OP_DELETE);
        EXPECT_EQ(seams.boxes.size(), 1u) << "the question only";
    }
    SetCurrentDirectoryA(before);
    EXPECT_EQ(GetFileAttributesA(shown.c_str()), INVALID_FILE_ATTRIBUTES) << "the shown file stayed";
    EXPECT_EQ(read_file_bytes(namesake), "BM namesake");
    DeleteFileA(shown.c_str());
    DeleteFileA(namesake.c_str());
    RemoveDirectoryA(other.c_str());
    RemoveDirectoryA(dir.c_str());
    g_fileName[0] = '\0';
    g_filePath[0] = '\0';
    g_imageKind = KIND_NONE;
}

namespace {

// A system whose copy opens the target for writing before it reads the
// source, as some file systems' copies do: a copy onto the file itself
// leaves it empty.
BOOL WINAPI copy_target_first(const char* source, const char* target, BOOL fail_if_exists)
{
    HANDLE out = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             fail_if_exists ? CREATE_NEW : CREATE_ALWAYS, 0, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return FALSE;
    const std::string bytes = read_file_bytes(source);
    DWORD written = 0;
    const BOOL whole = WriteFile(out, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size();
    CloseHandle(out);
    return whole;
}

std::string s_typedTarget;

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM out)
{
    char name[16] = "";
    GetClassNameA(hwnd, name, sizeof name);
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    *(HWND*)out = hwnd;
    return FALSE;
}

// Types the target into the Copy dialog once it shows and presses Copy; a
// dialog that stays open is cancelled.
void CALLBACK type_target_and_copy(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(NULL, timer);
    SetDlgItemTextA(dialog, 1152, s_typedTarget.c_str());
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    if (IsWindow(dialog) && IsWindowVisible(dialog))
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

}  // namespace

// The file itself named by its 8.3 short name in the real Copy dialog is
// no target: the copy is refused with its error and the file keeps its
// bytes, also where the system's copy would empty it.
TEST(FileCopy, TheFileItselfUnderItsShortNameIsRefused)
{
    char path[MAX_PATH] = "", short_path[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(test_out_path("long_file_name_copied.bmp").c_str(), MAX_PATH, path, NULL), 0u);
    ASSERT_TRUE(write_file_bytes(path, "BM the picture"));
    ASSERT_GT(GetShortPathNameA(path, short_path, MAX_PATH), 0u);
    const std::string folder = std::string(path).substr(0, std::string(path).rfind('\\'));
    s_typedTarget = folder + std::strrchr(short_path, '\\');
    ASSERT_STRNE(s_typedTarget.c_str(), path);
    const UINT file_name_ok = g_msgFileNameOK;
    g_msgFileNameOK = RegisterWindowMessageA("commdlg_FileNameOK");
    HWND asking = CreateWindowA("STATIC", "asking", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(asking, nullptr);
    {
        SeamRecorder seams(32);
        ImportHook copy("kernel32.dll", "CopyFileA", (void*)copy_target_first);
        ASSERT_NE(copy.original(), nullptr);
        SetTimer(NULL, 0, 20, type_target_and_copy);
        EXPECT_EQ(move_copy_rename_file(asking, asking, path, folder.c_str(), "bmp", FILE_OP_COPY, 0), 0);
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].text, "Error Copying File");
    }
    EXPECT_EQ(read_file_bytes(path), "BM the picture");
    DestroyWindow(asking);
    DeleteFileA(path);
    g_msgFileNameOK = file_name_ok;
}
