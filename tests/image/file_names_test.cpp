// The main list's entry of a file, decided by the file itself: its entry
// under its own name, under another name it was listed by, or as a full
// path a batch move put in the list; never a namesake in the folder the
// list shows. The end-to-end tests reach the namesake through the windows.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "image/loader.h"
#include "support/test_support.h"

namespace {

std::string full_path(const std::string& path)
{
    char full[MAX_PATH] = "";
    GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
    return full;
}

}  // namespace

TEST(ListEntry, FoundByTheFileUnderAnyNameNeverANamesake)
{
    // Folder b is the one the list shows; a holds the shown file's namesake.
    const std::string a = full_path(test_out_path("entry_a")), b = full_path(test_out_path("entry_b"));
    CreateDirectoryA(a.c_str(), NULL);
    CreateDirectoryA(b.c_str(), NULL);
    for (const std::string& file : {a + "\\x.jpg", a + "\\moved.jpg", b + "\\x.jpg", b + "\\long_name_y.jpg"})
        ASSERT_TRUE(write_file_bytes(file, file));
    char short_y[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA((b + "\\long_name_y.jpg").c_str(), short_y, sizeof short_y), 0u);
    const std::string short_name = std::string(short_y).substr(std::string(short_y).rfind('\\') + 1);
    char before[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(b.c_str()));
    HWND list = CreateWindowA("LISTBOX", "", WS_POPUP, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    for (const std::string& entry : {std::string("x.jpg"), std::string("LONG_NAME_Y.JPG"), a + "\\moved.jpg"})
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)entry.c_str());
    struct {
        std::string path, listed_as;
        LRESULT entry;
    } const rows[] = {
        {a + "\\x.jpg", "x.jpg", LB_ERR},           // the namesake in b is another file
        {b + "\\x.jpg", "", 0},
        {b + "\\long_name_y.jpg", short_name, 1},  // listed in other letter case, asked by its short name
        {b + "\\" + short_name, "", 1},
        {a + "\\moved.jpg", "moved.jpg", 2},      // the full path a move listed
    };
    for (const auto& row : rows)
        EXPECT_EQ(find_list_entry_of(list, row.path.c_str(), row.listed_as.c_str()), row.entry) << row.path;
    DestroyWindow(list);
    SetCurrentDirectoryA(before);
}
