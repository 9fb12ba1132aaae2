// Faults of state kept between files and of the GIF writer: a failed
// close reported as nothing, the APP12 text of the last JPEG carried into
// the next file, and the merge key colour's start value.
#include <string>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/gif_write.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/packed_dib.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

// Another program holds the old file open, so the new one cannot take its
// place: the user is told, and the writer reports failure.
TEST(StateRegress, GifWriterThatCannotCloseSaysSo)
{
    SeamRecorder seams(32);
    std::string path = test_out_path("regress_gif_held.gif");
    ASSERT_TRUE(write_file_bytes(path, "old contents"));
    HGLOBAL image = create_packed_dib(4, 2, 8, 2);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(write_gif_file(path.c_str(), image, 0), 0);
    CloseHandle(held);
    GlobalFree(image);
    EXPECT_EQ(read_file_bytes(path), "old contents");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, path);
    EXPECT_EQ(seams.boxes[0].caption, "error closing file");
    EXPECT_EQ(seams.boxes[0].type & MB_ICONMASK, (UINT)MB_ICONSTOP);
}

// The loader is driven as the main window drives it: a list with the file
// selected and the preview control, in the file's folder.
TEST(StateRegress, LoadingAnotherFileDropsTheLastApp12Text)
{
    SeamRecorder seams(24);
    HWND host = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    HWND list = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_HASSTRINGS, 0, 0, 100, 100, host,
                              (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
    CreateWindowA("BUTTON", "", WS_CHILD | BS_OWNERDRAW, 100, 0, 190, 190, host,
                  (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
    ASSERT_NE(list, nullptr);
    char old_dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof old_dir, old_dir);
    ASSERT_TRUE(SetCurrentDirectoryA(fixture_path("jpeg").c_str()));
    SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "baseline.jpg");
    SendMessageA(list, LB_SETCURSEL, 0, 0);

    g_hApp12Text = GlobalAlloc(GHND, 16);
    lstrcpyA((char*)GlobalLock(g_hApp12Text), "Ducky");
    GlobalUnlock(g_hApp12Text);
    RECT preview = {3, 3, 184, 184};
    load_selected_file(host, preview);
    EXPECT_EQ(g_hApp12Text, nullptr) << "the file has no APP12 segment";
    EXPECT_EQ(g_fileFormat, FMT_JPEG);

    release_current_image();
    if (g_hApp12Text)
        GlobalFree(g_hApp12Text);
    g_hApp12Text = NULL;
    SetCurrentDirectoryA(old_dir);
    DestroyWindow(host);
}

TEST(StateRegress, MergeKeyColourStartsWhite)
{
    EXPECT_EQ(g_mergeKeyColor, RGB(255, 255, 255));
}
