// Every test program empties its output folder before its first test, so
// the check scripts that run after it (tests/*/check_*.sh) only ever judge
// files of this run: a program that crashes, or a filter that skips the
// writing tests, leaves nothing behind for a check to pass or fail on.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <windows.h>

// Deletes everything inside folder (read-only files too), keeping the folder.
inline void empty_folder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            empty_folder(path);
            RemoveDirectoryA(path.c_str());
        } else {
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// Empties the folder named by the environment variable (when set) once, as
// the test run begins.
class FreshOutputFolder : public ::testing::Environment {
public:
    explicit FreshOutputFolder(const char* variable) : variable(variable) {}
    void SetUp() override
    {
        const char* folder = std::getenv(variable);
        if (folder && *folder)
            empty_folder(folder);
    }

private:
    const char* variable;
};
