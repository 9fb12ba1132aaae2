// Redirects the program's seams for one test: records message boxes, beeps
// and print dialogs, answers boxes from a script, answers the print dialog
// with Cancel or with OK on the default printer, keeps help shut, fixes the
// display depth and points the settings file into the test-out folder. Everything goes back
// to the real calls when the recorder goes out of scope.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <windows.h>

struct RecordedBox {
    HWND owner;
    std::string text;
    std::string caption;  // "(null)" when the box had no caption
    UINT type;
};

class SeamRecorder {
public:
    // display_bits 0 keeps the real display depth.
    explicit SeamRecorder(int display_bits = 0);
    ~SeamRecorder();
    SeamRecorder(const SeamRecorder&) = delete;
    SeamRecorder& operator=(const SeamRecorder&) = delete;

    void set_display_bits(int bits);
    // Uses test_out_path(name) as the settings file; returns its path.
    std::string use_settings_file(const std::string& name);

    std::vector<RecordedBox> boxes;
    std::vector<UINT> beeps;
    std::deque<int> answers;               // next box answers, front first (then IDOK)
    HWND media_window = NULL;              // what a media window creation returns
    int print_dialogs = 0;                 // print dialogs shown
    bool print_ok = false;                 // OK on the default printer, else Cancel
};
