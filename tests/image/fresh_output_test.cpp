// The check scripts judge the test-out folder after this program: it must
// hold no file older than this run, whatever an earlier run left there.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "support/test_support.h"

TEST(OutputFolder, HoldsOnlyFilesOfThisRun)
{
    FILETIME created, ended, kernel, user;
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user));
    std::string folder = test_out_path("");
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        EXPECT_GE(CompareFileTime(&found.ftLastWriteTime, &created), 0) << found.cFileName << " is from an earlier run";
    } while (FindNextFileA(find, &found));
    FindClose(find);
}
