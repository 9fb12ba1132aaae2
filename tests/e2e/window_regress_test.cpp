// Resources the program must carry: the hand cursor and the image window's
// accelerator table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// Every entry of the image window's accelerator table, and the hand cursor.
TEST(WindowRegress, ProgramCarriesHandCursorAndAccelerators)
{
    const char* exe = std::getenv("CORVANE_EXE");
    ASSERT_NE(exe, nullptr);
    HMODULE module = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "HAND", MAKEINTRESOURCEA(12)), nullptr);  // RT_GROUP_CURSOR
    HACCEL accel = LoadAcceleratorsA(module, "ACCELERATOR1");
    ASSERT_NE(accel, nullptr);
    ACCEL entries[32];
    int n = CopyAcceleratorTableA(accel, entries, 32);
    std::vector<std::pair<char, int>> got;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT), FVIRTKEY | FCONTROL);
        got.push_back({(char)entries[i].key, entries[i].cmd});
    }
    std::vector<std::pair<char, int>> expected = {
        {'B', 170}, {'C', 218}, {'D', 171}, {'E', 259}, {'F', 105}, {'I', 110},
        {'L', 116}, {'M', 214}, {'N', 115}, {'S', 114}, {'T', 107}, {'X', 102},
    };
    EXPECT_EQ(got, expected);
    DestroyAcceleratorTable(accel);
    FreeLibrary(module);
}

}  // namespace
