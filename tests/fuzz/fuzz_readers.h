// The table of readers the mutation harness feeds. A new reader adds one
// line in fuzz_readers.cpp: its name and the patterns of its starting inputs.
#pragma once

#include <stddef.h>

#include <string>

struct FuzzReader {
    const char* name;      // for reports, --reader and failure file names
    const char* patterns;  // starting inputs (see fuzz_readers.cpp)
};

extern const FuzzReader FUZZ_READERS[];
extern const size_t FUZZ_READER_COUNT;

// Writes the starting inputs no Debian tool makes into made_dir.
void make_harness_inputs(const std::string& fixture_dir, const std::string& made_dir);
