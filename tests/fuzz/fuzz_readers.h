// The table of readers the mutation harness feeds. A new reader adds one
// line in fuzz_readers.cpp: its name and the patterns of its starting inputs.
#pragma once

#include <stddef.h>

#include <string>

struct FuzzReader {
    const char* name;      // for reports, --reader and failure file names
    const char* patterns;  // starting inputs (see fuzz_readers.cpp)
    // A reader the loader does not call: reads the file at path and frees
    // what it read; true when it produced an image. Null: the loader.
    bool (*run)(const std::string& path) = nullptr;
};

extern const FuzzReader FUZZ_READERS[];
// The reader of kept files whose names begin with its name in lower case
// and a dash ("exif-..."); null for the loader.
const FuzzReader* fuzz_reader_for_file(const std::string& file_name);
extern const size_t FUZZ_READER_COUNT;

// Writes the starting inputs no Debian tool makes into made_dir.
void make_harness_inputs(const std::string& fixture_dir, const std::string& made_dir);
