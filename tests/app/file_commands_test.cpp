// A move or rename that stays in the list's folder reports 2, so that the
// caller selects the entry at the file's former place.
#include "app/file_commands.h"

#include <gtest/gtest.h>

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
