// Camera JPEGs as a person meets them: a lossless turn from the main menu
// through the Save dialog over the same name, with the preview showing the
// turned picture (a lossless-coded file too); Make Exif Compliant (both on
// read-only files, which stay so); the orientation set by F9's HUFFMAN
// dialog (check_jpeg_transform.sh checks these files with libjpeg-turbo and
// exiftool); F6; and the EXIF dialog's camera fields and upright thumbnail.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// Presses Save and confirms the replacement until path has been replaced
// (at most 15 s).
void save_over(const RunningApp& app, HWND save, const std::string& path)
{
    const std::string stamp = file_stamp(path);
    click_button(save, IDOK);
    DWORD start = GetTickCount();
    while (file_stamp(path) == stamp && GetTickCount() - start < 15000) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 200);
        if (box && box != save)
            click_button(box, IDYES);
    }
    // The stamp changes when the copy back starts; it is read once whole.
    wait_file_replaced(path, stamp, 15000);
}

// Turns the picture shown clockwise from the main menu and saves it over
// path through the Save dialog titled title, confirming the replacement;
// returns once the file has been replaced (or after 15 s).
void turn_and_save_over(const RunningApp& app, const std::string& path, const char* title)
{
    // Sent again until the picture has loaded and the Save dialog shows.
    HWND save = NULL;
    for (int tries = 0; !save && tries < 6; ++tries) {
        Sleep(500);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_JPEG_ROTATE_CW, 0), 0);
        save = find_process_window(app.process.dwProcessId, "#32770", app.main, 3000);
    }
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(window_text(save), title);
    SendMessageA(GetDlgItem(save, 1152), WM_SETTEXT, 0, (LPARAM)path.c_str());
    save_over(app, save, path);
}

// Both files are read-only: rewritten as asked, they stay read-only.
TEST(JpegTransform, RotateClockwiseTurnsTheFileAndThePreviewAndExifIsMadeCompliant)
{
    std::string dir = e2e_work_dir("jpeg_rotate");
    auto is_read_only = [&](const char* name) {
        return (GetFileAttributesA((dir + "\\" + name).c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
    };
    for (const char* name : {"camera.jpg", "quadrants.jpg"}) {
        SetFileAttributesA((dir + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(copy_fixture(name, dir));
        SetFileAttributesA((dir + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    std::string path = dir + "\\camera.jpg";
    std::string before = read_whole_file(path);

    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    turn_and_save_over(app, path, "Save As JPEG");
    ASSERT_NE(read_whole_file(path), before);
    EXPECT_TRUE(is_read_only("camera.jpg"));

    // The picture turned: 32 x 80 after trimming, fitting the preview's
    // height; its left part is what was the bottom-left quadrant.
    Shot shot = shot_when([&] { return preview_shot(app, "jpeg_rotate_cw"); }, [](const Shot& s) {
        return colours_close(s.in_square(0.4, 0.25), 0x0000FF, 40) &&
               colours_close(s.in_square(0.4, 0.75), 0xFFFF00, 40);
    });
    EXPECT_TRUE(colours_close(shot.in_square(0.4, 0.25), 0x0000FF, 40)) << std::hex << shot.in_square(0.4, 0.25);
    EXPECT_TRUE(colours_close(shot.in_square(0.4, 0.75), 0xFFFF00, 40)) << std::hex << shot.in_square(0.4, 0.75);

    // Make Exif Compliant on the next file of the list. A command that
    // comes before the picture has loaded does nothing: it is sent again
    // until the file has its segment, which makes it longer (its size is
    // read without opening the file the program replaces).
    select_list_entry(app, 1);
    std::string exif = dir + "\\quadrants.jpg";
    const uint64_t plain_size = file_size(exif);
    const std::string plain_stamp = file_stamp(exif);
    EXPECT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "quadrants.jpg", 20000),
              "quadrants.jpg");
    auto grown = [&] { return file_size(exif) > plain_size; };
    for (DWORD started = GetTickCount(); !grown() && GetTickCount() - started < 60000;) {
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_JPEG_EXIF, 0), 0);
        wait_for(grown, 4000);
    }
    // The file grows while it is copied back, and is read once whole.
    EXPECT_TRUE(wait_file_replaced(exif, plain_stamp));
    EXPECT_NE(read_whole_file(exif).find("Exif"), std::string::npos);
    EXPECT_TRUE(is_read_only("quadrants.jpg"));
    EXPECT_EQ(exit_by_button(app), 1);
}

// camera.jpg turned, and the window asked to move on to quadrants.jpg while
// the Save dialog is open (>>> of the image window, or the main window's
// list, as their messages come): the asking and the main window wait
// disabled, neither moves on, and Save writes camera.jpg's picture turned over camera.jpg
// (check_jpeg_transform.sh compares it with jpegtran's turn and checks its
// Exif), quadrants.jpg kept.
TEST(JpegTransform, TurnWritesTheFileItWasChosenForAfterTheWindowMovedOn)
{
    for (bool from_view : {true, false}) {
        const std::string dir = e2e_work_dir(from_view ? "jpeg_hold_view" : "jpeg_hold_list");
        ASSERT_TRUE(copy_fixture("camera.jpg", dir));
        ASSERT_TRUE(copy_fixture("quadrants.jpg", dir));
        const std::string first = read_whole_file(dir + "\\camera.jpg");
        const std::string second = read_whole_file(dir + "\\quadrants.jpg");
        RunningApp app;
        ASSERT_TRUE(start_app("camera.jpg", dir, app));
        HWND asking = from_view ? open_image_window(app, IDC_MAIN_CENTER) : app.main;
        ASSERT_TRUE(asking);
        HWND save = NULL;  // asked again until the picture has loaded
        for (int tries = 0; !save && tries < 6; ++tries) {
            PostMessageA(asking, WM_COMMAND, from_view ? IDM_VIEW_JPEG_ROTATE_CW : IDM_MAIN_JPEG_ROTATE_CW, 0);
            save = wait_dialog(app, "Save As JPEG", 3000);
        }
        ASSERT_TRUE(save);
        EXPECT_FALSE(IsWindowEnabled(asking) || IsWindowEnabled(app.main)) << from_view;
        if (from_view)
            PostMessageA(asking, WM_COMMAND, IDM_VIEW_NEXT_FILE, 0);
        else
            select_list_file(app, "quadrants.jpg");
        // The held image window drops its posted >>>, and the main window
        // the list's selection message: the list goes back to the file.
        HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
        ASSERT_EQ(window_text(name), "camera.jpg") << from_view;
        HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
        LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        const std::vector<std::string> items = list_box_items(list);
        ASSERT_TRUE(selected >= 0 && (size_t)selected < items.size()) << from_view;
        EXPECT_EQ(items[selected], "camera.jpg") << from_view;
        save_over(app, save, dir + "\\camera.jpg");
        // The reload after the write empties the box for a moment.
        EXPECT_EQ(wait_for_window_text(name, "camera.jpg"), "camera.jpg") << from_view << ": the move dropped";
        const std::string written = read_whole_file(dir + "\\camera.jpg");
        EXPECT_NE(written, first) << from_view;
        EXPECT_NE(written.find("Corvane"), std::string::npos) << from_view << ": camera.jpg's Exif kept";
        EXPECT_EQ(read_whole_file(dir + "\\quadrants.jpg"), second) << from_view;
        EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(asking) != FALSE; })) << from_view;
        EXPECT_EQ(exit_by_button(app), 1);
    }
}

// A lossless-coded JPEG (GDCM's quadrants) turned from the main menu is
// decoded, turned and coded lossless again over the same name; the image
// window's item leads to the same Save dialog.
TEST(JpegTransform, LosslessCodedFileIsTurnedByEncodingItAgain)
{
    std::string dir = e2e_work_dir("jpeg_lossless");
    ASSERT_TRUE(copy_fixture("quadrants_lossless.jpg", dir));
    std::string path = dir + "\\quadrants_lossless.jpg";
    std::string before = read_whole_file(path);
    ASSERT_NE(before.find("\xFF\xC3"), std::string::npos);

    RunningApp app;
    ASSERT_TRUE(start_app("quadrants_lossless.jpg", dir, app));
    turn_and_save_over(app, path, "Save As Lossless Huffman Encoded JPEG");
    std::string after = read_whole_file(path);
    ASSERT_NE(after, before);
    EXPECT_NE(after.find("\xFF\xC3"), std::string::npos) << "still coded lossless";
    // Turned clockwise: blue over yellow on the left.
    Shot shot = shot_when([&] { return preview_shot(app, "jpeg_lossless_cw"); }, [](const Shot& s) {
        return colours_close(s.in_square(0.4, 0.25), 0x0000FF, 8) &&
               colours_close(s.in_square(0.4, 0.75), 0xFFFF00, 8);
    });
    EXPECT_TRUE(colours_close(shot.in_square(0.4, 0.25), 0x0000FF, 8)) << std::hex << shot.in_square(0.4, 0.25);
    EXPECT_TRUE(colours_close(shot.in_square(0.4, 0.75), 0xFFFF00, 8)) << std::hex << shot.in_square(0.4, 0.75);

    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_JPEG_ROTATE_180, 0), 0);
    HWND again = wait_dialog(app, "Save As Lossless Huffman Encoded JPEG", 10000);
    ASSERT_TRUE(again);
    click_button(again, IDCANCEL);
    EXPECT_TRUE(wait_hidden(again));
    EXPECT_EQ(read_whole_file(path), after) << "cancelled: nothing written";
    EXPECT_EQ(exit_by_button(app), 1);
}

// F9 in the image window: the HUFFMAN dialog refuses an orientation outside
// 1 to 8 and writes a valid one into the file; F9 again opens at 8.
TEST(HuffmanDialog, RefusesNineAndWritesEight)
{
    std::string dir = e2e_work_dir("huffman");
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    std::string path = dir + "\\camera.jpg";
    std::string before = read_whole_file(path);
    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);

    PostMessageA(view, WM_KEYDOWN, VK_F9, 0);
    HWND dialog = wait_dialog(app, "Corvane File Viewer", 10000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_HUFFMAN_ORIENTATION)), "1");
    SetDlgItemTextA(dialog, IDC_HUFFMAN_ORIENTATION, "3*3");
    click_button(dialog, IDOK);
    HWND box = wait_dialog(app, "Orientation of Image", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "Error: Orientation must have a value between 1 and 8");
    click_button(box, IDOK);
    ASSERT_TRUE(wait_hidden(box));
    EXPECT_EQ(read_whole_file(path), before) << "nothing written for 9";

    const std::string stamp = file_stamp(path);
    SetDlgItemTextA(dialog, IDC_HUFFMAN_ORIENTATION, "8");
    click_button(dialog, IDOK);
    EXPECT_TRUE(wait_hidden(dialog));
    wait_file_replaced(path, stamp, 5000);
    EXPECT_NE(read_whole_file(path), before);
    PostMessageA(view, WM_KEYDOWN, VK_F9, 0);
    dialog = wait_dialog(app, "Corvane File Viewer", 10000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_HUFFMAN_ORIENTATION)), "8");
    click_button(dialog, IDNO);
    EXPECT_TRUE(wait_hidden(dialog));
    EXPECT_EQ(exit_by_button(app), 1);
}

// F9 on an Orientation entry of a type the program cannot read (ASCII): a
// box says so, and Yes as the dialog opens leaves the file as it was.
TEST(HuffmanDialog, AnUnreadableOrientationIsSaidAndKept)
{
    std::string dir = e2e_work_dir("huffman_unread");
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    std::string path = dir + "\\camera.jpg";
    std::string bytes = read_whole_file(path);
    const size_t entry = bytes.find(std::string("\x01\x12\x00\x03\x00\x00\x00\x01", 8));
    ASSERT_NE(entry, std::string::npos);
    bytes[entry + 3] = 2;  // ASCII
    ASSERT_TRUE(write_whole_file(path, bytes));
    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);
    PostMessageA(view, WM_KEYDOWN, VK_F9, 0);
    HWND box = wait_dialog(app, "Orientation of Image", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "The Orientation of This Image Cannot Be Read; Yes Leaves It as It Is.");
    click_button(box, IDOK);
    ASSERT_TRUE(wait_hidden(box));
    HWND dialog = wait_dialog(app, "Corvane File Viewer", 10000);
    ASSERT_TRUE(dialog);
    const std::string stamp = file_stamp(path);
    click_button(dialog, IDOK);
    EXPECT_TRUE(wait_hidden(dialog));
    wait_file_replaced(path, stamp, 5000);
    EXPECT_EQ(read_whole_file(path).substr(entry, 12), bytes.substr(entry, 12)) << "the entry as it was";
    EXPECT_EQ(exit_by_button(app), 1);
}

// F6 in the image window: Enter and No keep the file; Yes removes its Exif segment
// and the window shows the file again (its information text now that of a
// plain JPEG).
TEST(ImageWindowKeys, F6RemovesTheExifMarkerAndShowsTheFileAgain)
{
    std::string dir = e2e_work_dir("exif_f6");
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    std::string path = dir + "\\camera.jpg";
    std::string before = read_whole_file(path);
    ASSERT_NE(before.find("Exif"), std::string::npos);
    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);
    auto info = [&] {
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_FILE_INFO, 0), 0);
        return dismiss_message_box(app, 5000);
    };
    EXPECT_EQ(info().rfind("image type: Exif JPEG", 0), 0u);

    const std::string stamp = file_stamp(path);
    for (int answer : {0, IDNO, IDYES}) {
        PostMessageA(view, WM_KEYDOWN, VK_F6, 0);
        HWND box = wait_dialog(app, "Corvane File Viewer", 10000);
        ASSERT_TRUE(box);
        EXPECT_EQ(box_text(box), "Remove EXIF Marker?");
        if (answer) {
            click_button(box, answer);
        } else {
            PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageA(box, WM_KEYUP, VK_RETURN, 0);
        }
        ASSERT_TRUE(wait_hidden(box));
        if (answer != IDYES)
            EXPECT_EQ(file_stamp(path), stamp) << "kept";
    }
    wait_file_replaced(path, stamp, 5000);
    std::string after = read_whole_file(path);
    EXPECT_EQ(after.find("Exif"), std::string::npos);
    EXPECT_EQ(after.substr(after.size() - 1000), before.substr(before.size() - 1000)) << "the scan kept";
    EXPECT_TRUE(is_visible(view));
    EXPECT_EQ(info().rfind("image type: JPEG", 0), 0u);
    EXPECT_EQ(exit_by_button(app), 1);
}

// View Digital Image Properties: the owner-drawn text is compared with the
// same template drawn here with the expected text (the same fonts and
// controls give the same pixels only when the texts are the same).
const char EXPECTED_TEXT[] =
    "make: Corvane\nmodel: Quadrants\norientation: 6\niso speed ratings: 400\n"
    "date time original: 2026:12:06 12:00:00\ncolorspace: 65535\n";

INT_PTR CALLBACK reference_dlg_proc(HWND, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        return 1;
    if (msg == WM_DRAWITEM) {
        const DRAWITEMSTRUCT* item = (const DRAWITEMSTRUCT*)lp;
        if (item->CtlID != IDC_EXIF_TEXT)
            return 0;
        RECT area = item->rcItem;
        DrawTextA(item->hDC, EXPECTED_TEXT, -1, &area, 0);
        return 1;
    }
    return 0;
}

// The program's EXIF template, opened in this process with the expected text.
HWND open_reference_dialog()
{
    std::string exe = getenv("CORVANE_EXE") ? getenv("CORVANE_EXE") : "Corvane.exe";
    HMODULE module = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceA(module, "EXIF", MAKEINTRESOURCEA(5)) : NULL;  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    LPCDLGTEMPLATEA dialog_template = loaded ? (LPCDLGTEMPLATEA)LockResource(loaded) : NULL;
    HWND dialog = dialog_template ? CreateDialogIndirectParamA(GetModuleHandleA(NULL), dialog_template,
                                                               NULL, reference_dlg_proc, 0)
                                  : NULL;
    if (dialog) {
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    return dialog;
}

TEST(ExifDialog, ShowsTheCameraFieldsAndTheUprightThumbnail)
{
    std::string dir = e2e_work_dir("exif_dialog");
    ASSERT_TRUE(copy_fixture("camera_props.jpg", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("camera_props.jpg", dir, app));
    // Sent again until the picture has loaded and the dialog shows.
    HWND dialog = NULL;
    for (int tries = 0; !dialog && tries < 6; ++tries) {
        Sleep(500);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_EXIF_PROPERTIES, 0), 0);
        dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 3000, "camera_props.jpg");
    }
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(is_visible(GetDlgItem(dialog, IDC_EXIF_MORE_INFO)));  // no APP12 text
    EXPECT_TRUE(is_visible(GetDlgItem(dialog, IDOK)));

    Shot shown = shoot(GetDlgItem(dialog, IDC_EXIF_TEXT), "exif_dialog_text");
    // Stored sideways (orientation 6): shown 40 wide and 80 high, blue
    // top left, red top right, yellow bottom left, green bottom right.
    Shot thumb = shoot(GetDlgItem(dialog, IDC_EXIF_THUMBNAIL), "exif_dialog_thumbnail");
    ASSERT_GT(thumb.width, 60);
    ASSERT_GT(thumb.height, 100);
    const struct {
        int x, y;
        DWORD colour;
    } probes[] = {{10, 20, 0x0000FF}, {30, 20, 0xFF0000}, {10, 60, 0xFFFF00}, {30, 60, 0x00FF00}};
    for (const auto& p : probes)
        EXPECT_TRUE(colours_close(thumb.at(p.x, p.y), p.colour, 40)) << p.x << "," << p.y;

    HWND reference_dialog = open_reference_dialog();
    ASSERT_NE(reference_dialog, nullptr);
    Shot reference = shoot(GetDlgItem(reference_dialog, IDC_EXIF_TEXT), "exif_dialog_text_expected");
    DestroyWindow(reference_dialog);
    ASSERT_EQ(shown.width, reference.width);
    ASSERT_EQ(shown.height, reference.height);
    int dark = 0;
    for (DWORD pixel : reference.pixels)
        dark += (pixel & 0xFF) < 0x60;
    EXPECT_GT(dark, 100) << "the expected text was drawn";
    EXPECT_TRUE(shown.pixels == reference.pixels) << "the dialog's text differs from the expected text";

    click_button(dialog, IDOK);
    EXPECT_TRUE(wait_until_closed(dialog));
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
