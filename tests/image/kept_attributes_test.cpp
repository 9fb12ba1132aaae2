// A read-only file keeps its attribute after a delete that failed, and
// goes whole to another volume, where it arrives read-only.
#include "image/kept_attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

std::string read_only_file(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    write_file_bytes(path, bytes);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return path;
}

TEST(KeptAttributes, DeleteRefusedKeepsTheFileReadOnly)
{
    const std::string path = read_only_file(test_out_path("kept_held.bin"), "held");
    // Held open without delete sharing, as another program may hold it.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(delete_agreed_file(path.c_str()));
    CloseHandle(held);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY, (DWORD)FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(delete_agreed_file(path.c_str()));
}

// /dev/shm is another file system than the build tree: the move copies the
// file and deletes the old one.
TEST(KeptAttributes, MoveToAnotherVolumeTakesAReadOnlyFileWhole)
{
    const std::string target = "Z:\\dev\\shm\\corvane_kept_" + std::to_string(GetCurrentProcessId()) + ".bin";
    if (GetFileAttributesA("Z:\\dev\\shm") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no second volume";
    const std::string source = read_only_file(test_out_path("kept_moved.bin"), "moved");
    EXPECT_TRUE(move_file_keeping_attributes(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetFileAttributesA(source.c_str()), INVALID_FILE_ATTRIBUTES) << "a file left behind";
    EXPECT_EQ(read_file_bytes(target), "moved");
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, (DWORD)FILE_ATTRIBUTE_READONLY);
    for (const std::string& path : {source, target}) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

}  // namespace
