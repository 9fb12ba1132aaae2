// Temporary file names that nest, are all deleted, and the creation test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "image/temp_file.h"
#include "support/test_support.h"

static bool exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

TEST(TempFile, NamesNestAndEachIsDeletedOnce)
{
    int in_use = temp_file_names_in_use();
    char* outer = make_temp_file_name();
    ASSERT_NE(nullptr, outer);
    std::string outer_name = outer;
    char* inner = make_temp_file_name();
    ASSERT_NE(nullptr, inner);
    std::string inner_name = inner;
    EXPECT_NE(outer_name, inner_name);
    EXPECT_TRUE(exists(outer));
    EXPECT_TRUE(exists(inner));
    EXPECT_EQ(in_use + 2, temp_file_names_in_use());
    EXPECT_GE(temp_files_in(outer_name), 2) << "the tests' count of temporary files sees them";


    delete_temp_file(inner);
    EXPECT_FALSE(exists(inner_name.c_str()));
    EXPECT_TRUE(exists(outer));
    EXPECT_EQ(outer_name, outer);  // the outer name is untouched
    delete_temp_file(outer);
    EXPECT_FALSE(exists(outer_name.c_str()));
    EXPECT_EQ(in_use, temp_file_names_in_use());
}

TEST(CanCreateFile, CreatesOrTruncatesAndRefusesMissingFolders)
{
    std::string path = test_out_path("can_create.bin");
    ASSERT_TRUE(write_file_bytes(path, "contents"));
    EXPECT_EQ(1, can_create_file(path.c_str()));
    EXPECT_TRUE(exists(path.c_str()));
    EXPECT_EQ("", read_file_bytes(path));
    std::string missing = test_out_path("no such folder\\x.bin");
    EXPECT_EQ(0, can_create_file(missing.c_str()));
    EXPECT_EQ(0, can_create_file(""));
}
