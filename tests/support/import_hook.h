// A system function that the program's code linked into a test program
// calls through the test program's import table, replaced there for a
// while: a test sees what the program hands the system, or stands in for
// a system that behaves otherwise.
#pragma once

class ImportHook {
public:
    // Replaces module's function with replacement until the hook goes.
    ImportHook(const char* module, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    // The system's own function, for the replacement to call; null when
    // the program does not import it.
    void* original() const { return original_; }

private:
    void** entry_;
    void* original_;
};
