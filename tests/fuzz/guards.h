// What watches each input of the mutation harness: a watchdog thread for
// hangs, an exception filter and an abort handler that save the input
// before the process dies, heap validation and the memory and handles held
// before and after an input.
#pragma once

#include <stdint.h>

#include <string>

// Exit codes of a run that a guard ended.
enum {
    EXIT_FAILURES = 1,  // the run finished, with failures
    EXIT_CRASH = 2,
    EXIT_HANG = 3,
    EXIT_HEAP = 4,
};

// The input being run, for the guards' reports.
struct GuardedInput {
    std::string reader;     // name in the reader table, or "file"
    uint64_t key;
    uint64_t index;
    std::string path;       // where the input is on disk now
    std::string extension;  // with the dot
};

// Installs the exception filters, the abort handler and the watchdog;
// failures are written into failure_dir, an input may take hang_ms.
void install_guards(const std::string& failure_dir, unsigned hang_ms);

// The watchdog times from begin to end; the crash guard saves the input.
void begin_guarded_input(const GuardedInput& input);
void end_guarded_input(void);

// Copies the current input into the failure folder named by its reader,
// key, index and kind and prints one line; returns the copy's path.
std::string save_failure(const char* kind);

// Every heap of the process is sound.
bool heaps_are_sound(void);

// What the process holds: busy heap blocks (movable global blocks among
// them), their bytes and the handles of the process.
struct HeldMemory {
    uint32_t blocks;
    uint32_t movable_blocks;
    uint64_t bytes;
    uint32_t handles;
};
HeldMemory measure_held_memory(void);
