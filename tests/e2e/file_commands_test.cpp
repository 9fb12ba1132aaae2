// The main window's file commands where a file could be lost or the window
// left unusable: a target that exists is replaced only after the question
// and a Yes, a typed name gets the dialog's extension before it is judged,
// and the main list stays in its folder whatever folder a dialog wrote to;
// an enlarged video gives the window its controls back when a file command
// lets it go; a list emptied by a command leaves an empty window whose
// image menus are greyed.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// A 60 x 40 red BMP as the fixtures and the program write it.
bool is_red_bmp(const std::string& bytes)
{
    return bytes.size() == 7254 && bytes.compare(54, 3, std::string("\x00\x00\xff", 3)) == 0;
}

// The box the dialog titled title shows over itself (it carries the same
// title), answered with button (0: Enter, which takes the box's default);
// its caption and text as "caption|text", followed by "|no" when it lacks
// Yes or No or has Cancel.
std::string answer_box_over(const RunningApp& app, HWND dialog, const char* title, int button)
{
    HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 8000, title);
    if (!box)
        return "no box";
    std::string seen = window_text(box) + "|" + box_text(box);
    if (!GetDlgItem(box, IDYES) || !GetDlgItem(box, IDNO) || GetDlgItem(box, IDCANCEL))
        seen += "|no";
    if (button) {
        click_button(box, button);
    } else {
        PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(box, WM_KEYUP, VK_RETURN, 0);
    }
    wait_until_closed(box);
    return seen;
}

// Posts command, waits for its Save dialog titled title and asks for target
// (empty: the target it proposes).
HWND ask_for(const RunningApp& app, int command, const char* title, const std::string& target)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND dialog = wait_dialog(app, title);
    if (dialog) {
        if (!target.empty())
            SendMessageA(GetDlgItem(dialog, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
        click_button(dialog, IDOK);
    }
    return dialog;
}

struct ReplaceCase {
    int command;
    const char* source;  // selected first; a copy of the red slide
    const char* title;
    const char* target;  // in the folder, holding "old" beforehand
    bool source_goes;
    // The box after Yes: its caption, and its text around the target path.
    const char* done_caption;
    std::string done_text_before, done_text_after;
};

// Each command on an existing target: Enter and No keep the dialog open
// with the name and change nothing, Cancel then ends it; Yes replaces the
// file.
TEST(ReplacePrompt, NoKeepsTheDialogAndTheFileYesReplacesIt)
{
    std::string dir = e2e_work_dir("replace_prompt");
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    for (const char* name : {"ren.bmp", "mov.bmp"})
        ASSERT_TRUE(CopyFileA((dir + "\\slide_a.bmp").c_str(), (dir + "\\" + name).c_str(), FALSE));
    const ReplaceCase cases[] = {
        {IDM_MAIN_SAVE_BMP, "slide_a.bmp", "Save As Windows BMP", "old_conv.bmp", false,
         "File Converted Successfully", "", "\n\n7254 bytes"},
        {IDM_MAIN_COPY_FILE, "slide_a.bmp", "Copy \"slide_a.bmp\" To:", "old_copy.bmp", false, "Copy File",
         "slide_a.bmp copied to:\n\n", ""},
        {IDM_MAIN_RENAME_FILE, "ren.bmp", "Rename \"ren.bmp\":", "old_ren.bmp", true, "Move File",
         "ren.bmp renamed:\n\n", ""},
        {IDM_MAIN_MOVE_FILE, "mov.bmp", "Move \"mov.bmp\" To:", "sub\\mov.bmp", true, "Move File",
         "mov.bmp moved to:\n\n", ""},
    };
    for (const ReplaceCase& c : cases)
        ASSERT_TRUE(write_whole_file(dir + "\\" + c.target, "old"));
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    const std::vector<std::string> folders = list_box_items(GetDlgItem(app.main, IDC_MAIN_DIR_LIST));
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string target = dir + "\\" + c.target, source = dir + "\\" + c.source;
        const std::string question = std::string(c.title) + "|" + target + " already exists.\nDo you want to replace it?";
        ASSERT_TRUE(select_list_file(app, c.source));
        Sleep(500);

        HWND dialog = ask_for(app, c.command, c.title, target);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(answer_box_over(app, dialog, c.title, 0), question);
        Sleep(300);
        ASSERT_TRUE(is_visible(dialog)) << "Enter keeps the dialog";
        EXPECT_EQ(file_size(target), 3u) << "and the file";
        click_button(dialog, IDOK);
        EXPECT_EQ(answer_box_over(app, dialog, c.title, IDNO), question);
        Sleep(300);
        EXPECT_TRUE(is_visible(dialog)) << "the dialog stays open";
        const std::string name = target.substr(target.rfind('\\') + 1);
        EXPECT_NE(window_text(GetDlgItem(dialog, 1152)).find(name), std::string::npos)
            << "with the name: " << window_text(GetDlgItem(dialog, 1152));
        click_button(dialog, IDCANCEL);
        ASSERT_TRUE(wait_until_closed(dialog));
        EXPECT_EQ(read_whole_file(target), "old");
        EXPECT_TRUE(file_exists(source));

        dialog = ask_for(app, c.command, c.title, target);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(answer_box_over(app, dialog, c.title, IDYES), question);
        ASSERT_TRUE(wait_until_closed(dialog));
        HWND done = wait_dialog(app, c.done_caption);
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(box_text(done), c.done_text_before + target + c.done_text_after);
        click_button(done, IDOK);
        wait_until_closed(done);
        EXPECT_TRUE(is_red_bmp(read_whole_file(target))) << "replaced";
        EXPECT_EQ(file_exists(source), !c.source_goes);
        DWORD_PTR ignored;  // answered once the command has returned
        SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        EXPECT_EQ(list_box_items(GetDlgItem(app.main, IDC_MAIN_DIR_LIST)), folders) << "the list stays";
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// The box titled caption once it shows: its text, closed with OK.
std::string answer_done_box(const RunningApp& app, const char* caption)
{
    HWND done = wait_dialog(app, caption);
    if (!done)
        return std::string("no box ") + caption;
    std::string text = box_text(done);
    click_button(done, IDOK);
    wait_until_closed(done);
    return text;
}

// The name the folder lists for path, in its own letter case.
std::string listed_name(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    FindClose(search);
    return found.cFileName;
}

// Copy and Move onto the file itself, named by its 8.3 short name or, for
// Move, as the dialog proposes it (its own place): no question offers to
// replace it, the command is refused with its error, and the file keeps
// its name and bytes.
TEST(ReplacePrompt, TheFileItselfUnderItsShortOrOwnNameIsRefused)
{
    std::string dir = e2e_work_dir("short_name");
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    const std::string name = "long_file_name_a.bmp", path = dir + "\\" + name;
    ASSERT_TRUE(MoveFileExA((dir + "\\slide_a.bmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    char short_path[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(path.c_str(), short_path, sizeof short_path), 0u);
    const std::string short_name = std::string(short_path).substr(std::string(short_path).rfind('\\') + 1);
    ASSERT_NE(short_name, name);
    const struct {
        int command;
        const char* title;
        const char* refusal;
        bool proposed;  // the target as proposed, not the short name
    } rows[] = {
        {IDM_MAIN_COPY_FILE, "Copy \"long_file_name_a.bmp\" To:", "Error Copying File", false},
        {IDM_MAIN_MOVE_FILE, "Move \"long_file_name_a.bmp\" To:", "Error Moving File.", false},
        {IDM_MAIN_MOVE_FILE, "Move \"long_file_name_a.bmp\" To:", "Error Moving File.", true},
    };
    RunningApp app;
    ASSERT_TRUE(start_app(name, dir, app));
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.title) + (row.proposed ? " as proposed" : " short name"));
        HWND dialog = ask_for(app, row.command, row.title, row.proposed ? "" : dir + "\\" + short_name);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(wait_until_closed(dialog, 5000)) << "a question keeps the dialog open";
        EXPECT_EQ(answer_done_box(app, "Error"), row.refusal);
        EXPECT_EQ(listed_name(path), name);
        EXPECT_TRUE(is_red_bmp(read_whole_file(path)));
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// A name typed without an extension is written with the dialog's own, and
// the replace question judges that name; the file's own name in other
// letter case is renamed at once, with no question and no "copied to".
TEST(ReplacePrompt, TypedNameTakesTheExtensionAndTheOwnNameInOtherCaseIsARename)
{
    std::string dir = e2e_work_dir("default_extension");
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    ASSERT_TRUE(CopyFileA((dir + "\\slide_a.bmp").c_str(), (dir + "\\case.bmp").c_str(), FALSE));
    const std::string png = dir + "\\pic.png";
    DeleteFileA(png.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));

    HWND dialog = ask_for(app, IDM_MAIN_SAVE_PNG, "Save As PNG", "pic");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_until_closed(dialog));
    EXPECT_EQ(answer_done_box(app, "File Converted Successfully").substr(0, png.size() + 2), png + "\n\n");
    EXPECT_EQ(read_whole_file(png).substr(0, 4), "\x89PNG");
    EXPECT_FALSE(file_exists(dir + "\\pic")) << "no file without the extension";

    dialog = ask_for(app, IDM_MAIN_SAVE_PNG, "Save As PNG", "pic");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(answer_box_over(app, dialog, "Save As PNG", IDNO),
              "Save As PNG|" + png + " already exists.\nDo you want to replace it?");
    click_button(dialog, IDCANCEL);
    ASSERT_TRUE(wait_until_closed(dialog));

    ASSERT_TRUE(select_list_file(app, "case.bmp"));
    dialog = ask_for(app, IDM_MAIN_RENAME_FILE, "Rename \"case.bmp\":", dir + "\\CASE.BMP");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(answer_done_box(app, "Move File"), "case.bmp renamed:\n\n" + dir + "\\CASE.BMP");
    EXPECT_TRUE(wait_until_closed(dialog)) << "no question kept it open";
    EXPECT_EQ(listed_name(dir + "\\case.bmp"), "CASE.BMP");
    EXPECT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "CASE.BMP"), "CASE.BMP");
    EXPECT_TRUE(is_red_bmp(read_whole_file(dir + "\\CASE.BMP")));
    EXPECT_EQ(exit_by_button(app), 1);
}

// Convert/Save into another folder, written or refused: the main list still
// shows its own folder's files and folders, not the target's.
TEST(SaveElsewhere, MainListStaysInItsFolder)
{
    std::string dir = e2e_work_dir("save_elsewhere");
    CreateDirectoryA((dir + "\\other").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    const std::string refused = dir + "\\other\\locked.bmp", written = dir + "\\other\\new.bmp";
    SetFileAttributesA(refused.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(written.c_str());
    ASSERT_TRUE(write_whole_file(refused, "old"));
    ASSERT_TRUE(SetFileAttributesA(refused.c_str(), FILE_ATTRIBUTE_READONLY));
    const struct {
        const std::string target;
        bool asked;           // the replace question comes first, answered Yes
        const char* caption;  // of the box that ends the save
        std::string text;
    } cases[] = {
        {refused, true, refused.c_str(), "Cannot Open File for Writing."},
        {written, false, "File Converted Successfully", written + "\n\n7254 bytes"},
    };
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST), folders = GetDlgItem(app.main, IDC_MAIN_DIR_LIST);
    const std::vector<std::string> listed = list_box_items(files), folder_parts = list_box_items(folders);
    ASSERT_EQ(listed, std::vector<std::string>{"slide_a.bmp"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        HWND dialog = ask_for(app, IDM_MAIN_SAVE_BMP, "Save As Windows BMP", c.target);
        ASSERT_NE(dialog, nullptr);
        if (c.asked) {
            EXPECT_EQ(answer_box_over(app, dialog, "Save As Windows BMP", IDYES),
                      "Save As Windows BMP|" + c.target + " already exists.\nDo you want to replace it?");
        }
        EXPECT_TRUE(wait_until_closed(dialog));
        EXPECT_EQ(answer_done_box(app, c.caption), c.text);
        // Answered once the command, which refills the list, has returned.
        DWORD_PTR ignored;
        SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        EXPECT_EQ(list_box_items(files), listed);
        EXPECT_EQ(list_box_items(folders), folder_parts);
    }
    EXPECT_TRUE(is_red_bmp(read_whole_file(written)));
    EXPECT_EQ(read_whole_file(refused), "old");
    SetFileAttributesA(refused.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(exit_by_button(app), 1);
}

// A video enlarged over the main window, then a move or rename cancelled:
// the list, the boxes and Exit are back and the video plays in its place.
TEST(EnlargedVideo, CancelledFileCommandGivesTheControlsBack)
{
    std::string dir = e2e_work_dir("enlarged_video");
    ASSERT_TRUE(copy_fixture("clip.avi", dir));
    const struct {
        int command;
        const char* title;
    } cases[] = {
        {IDM_MAIN_MOVE_FILE, "Move \"clip.avi\" To:"},
        {IDM_MAIN_RENAME_FILE, "Rename \"clip.avi\":"},
    };
    RunningApp app;
    ASSERT_TRUE(start_app("clip.avi", dir, app));
    ASSERT_NE(wait_for_media_window(app.main, 15000), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        click_button(app.main, IDC_MAIN_FULL_SCREEN);
        ASSERT_TRUE(wait_hidden(GetDlgItem(app.main, IDC_MAIN_FILE_LIST))) << "enlarged";
        run_dialog_command(app, app.main, c.command, c.title, "", 0, true);
        for (int id : {IDC_MAIN_FILE_LIST, IDC_MAIN_NAME_EDIT, IDC_MAIN_TYPE_COMBO, IDC_MAIN_DRIVE_COMBO,
                       IDC_MAIN_EXIT})
            EXPECT_TRUE(is_visible(GetDlgItem(app.main, id))) << "control " << id;
        EXPECT_NE(wait_for_media_window(app.main, 10000), nullptr);
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// Whether the bar entry with mnemonic key opens its popup, as Alt and the
// key do; the menu is left again either way.
bool opens_popup(const RunningApp& app, char key)
{
    SetForegroundWindow(app.main);
    PostMessageA(app.main, WM_SYSCOMMAND, SC_KEYMENU, (LPARAM)key);
    HWND popup = find_process_window(app.process.dwProcessId, "#32768", NULL, 2000);
    for (int i = 0; i < 2; ++i) {
        PostMessageA(app.main, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(200);
    }
    if (popup)
        wait_hidden(popup);
    return popup != NULL;
}

// The only file of the folder deleted: nothing is shown, no box, and the
// image menus ("&Convert/Save" by its key) are greyed. Moved away, it is
// still the picture shown, from its new place, with its menus.
TEST(EmptiedList, NothingShownAndTheImageMenusGreyed)
{
    const struct {
        int command;
        const char* title;  // null: the delete question
        const char* target;
    } cases[] = {
        {IDM_MAIN_DELETE_FILE, NULL, ""},
        {IDM_MAIN_MOVE_FILE, "Move \"only.bmp\" To:", "sub\\only.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string dir = e2e_work_dir(std::string("emptied_") + (c.title ? "move" : "delete"));
        CreateDirectoryA((dir + "\\sub").c_str(), NULL);
        ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
        ASSERT_TRUE(MoveFileExA((dir + "\\slide_a.bmp").c_str(), (dir + "\\only.bmp").c_str(),
                                MOVEFILE_REPLACE_EXISTING));
        RunningApp app;
        ASSERT_TRUE(start_app("only.bmp", dir, app));
        Sleep(500);
        EXPECT_TRUE(opens_popup(app, 'c')) << "a picture is shown";
        std::string target = c.target[0] ? dir + "\\" + c.target : "";
        EXPECT_EQ(run_dialog_command(app, app.main, c.command, c.title, target, 1).size(), 2u);
        EXPECT_FALSE(file_exists(dir + "\\only.bmp"));
        EXPECT_TRUE(list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST)).empty());
        EXPECT_EQ(dismiss_message_box(app, 2000), "") << "no box for a file that is not there";
        EXPECT_EQ(opens_popup(app, 'c'), c.title != NULL) << "Convert/Save greyed but for the moved picture";
        EXPECT_EQ(exit_by_button(app), 1);
    }
}

// The shown file inverted, then renamed or moved: its picture stays as the
// user made it, and Undo reads the file at its new place and replays the
// history there, back to the file's red.
TEST(MovedShownFile, KeepsItsEditsUnderItsNewName)
{
    const DWORD RED = 0xFF0000, CYAN = 0x00FFFF;
    const struct {
        int command;
        const char* source;
        const char* title;
        const char* target;
    } cases[] = {
        {IDM_MAIN_RENAME_FILE, "ren.bmp", "Rename \"ren.bmp\":", "renamed.bmp"},
        {IDM_MAIN_MOVE_FILE, "mov.bmp", "Move \"mov.bmp\" To:", "sub\\mov.bmp"},
    };
    std::string dir = e2e_work_dir("moved_shown");
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    for (const auto& c : cases)
        ASSERT_TRUE(CopyFileA((dir + "\\slide_a.bmp").c_str(), (dir + "\\" + c.source).c_str(), FALSE));
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    auto middle_is = [&](const char* shot, DWORD colour) {
        return wait_for([&] { return preview_pixel(app, shot, 0.5, 0.5) == colour; });
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_TRUE(select_list_file(app, c.source));
        ASSERT_TRUE(middle_is("moved_loaded", RED));
        send_main_command(app, IDM_MAIN_INVERT);
        ASSERT_TRUE(middle_is("moved_inverted", CYAN));
        const std::string target = dir + "\\" + c.target;
        EXPECT_EQ(run_dialog_command(app, app.main, c.command, c.title, target, 1).size(), 2u);
        ASSERT_TRUE(file_exists(target));
        EXPECT_TRUE(middle_is("moved_kept", CYAN)) << "the edit stays";
        send_main_command(app, IDM_MAIN_UNDO);
        EXPECT_TRUE(middle_is("moved_undone", RED)) << "undone from the file at its new place";
        EXPECT_EQ(dismiss_message_box(app, 1000), "");
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
