// A read-only file through the steps that lift its attribute and the one
// that does not: it keeps the attribute whether the step failed or moved it
// to another volume, and a failed move leaves no copy behind.
#include "image/kept_attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

bool is_read_only(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

void remove_file(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

TEST(KeptAttributes, DeleteRefusedKeepsTheFileReadOnly)
{
    const std::string path = test_out_path("kept_held.bin");
    remove_file(path);
    ASSERT_TRUE(write_file_bytes(path, "held"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    // Held open without delete sharing, as another program may hold it.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(delete_agreed_file(path.c_str()));
    CloseHandle(held);
    EXPECT_TRUE(is_read_only(path));
    EXPECT_TRUE(delete_agreed_file(path.c_str()));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// /dev/shm is another file system than the build tree: the move copies
// the file and deletes the old one.
TEST(KeptAttributes, MoveToAnotherVolumeTakesAReadOnlyFileWhole)
{
    const std::string volume = "Z:\\dev\\shm";
    if (GetFileAttributesA(volume.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no second volume";
    const std::string source = test_out_path("kept_moved.bin");
    const std::string target = volume + "\\corvane_kept_" + std::to_string(GetCurrentProcessId()) + ".bin";
    remove_file(source);
    remove_file(target);
    ASSERT_TRUE(write_file_bytes(source, "moved"));
    ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(move_file_keeping_attributes(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetFileAttributesA(source.c_str()), INVALID_FILE_ATTRIBUTES) << "no file left behind";
    EXPECT_EQ(read_file_bytes(target), "moved");
    EXPECT_TRUE(is_read_only(target));
    remove_file(source);
    remove_file(target);
}

}  // namespace
