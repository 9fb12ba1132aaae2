// The mutation harness's parts: the reader table and the starting inputs
// it makes (fuzz_readers.cpp), the mutator (mutate.cpp) and the guards that
// watch each input (guards.cpp). fuzz_main.cpp runs them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct FuzzReader {
    const char* name;      // for reports, --reader and failure file names
    const char* patterns;  // starting inputs (see fuzz_readers.cpp)
    // A reader the loader does not call: reads the file at path and frees
    // what it read; true when it produced an image. Null: the loader.
    bool (*run)(const std::string& path) = nullptr;
};

extern const FuzzReader FUZZ_READERS[];
extern const size_t FUZZ_READER_COUNT;
// The reader of kept files whose names begin with its name in lower case
// and a dash ("exif-..."); null for the loader.
const FuzzReader* fuzz_reader_for_file(const std::string& file_name);
// The reader a kept file belongs to, so that a run of some readers runs
// their kept files: the one whose name and a dash begin the file's name (in
// any case), else the first whose starting inputs have its extension; null
// when none does.
const FuzzReader* fuzz_reader_keeping(const std::string& file_name);
// The roads apart from the loader that read files of this extension (with
// the dot, any case): its comment rewriter, the lossless transforms.
std::vector<const FuzzReader*> fuzz_roads_for_extension(const std::string& extension);
// Writes the starting inputs no Debian tool makes into made_dir.
void make_harness_inputs(const std::string& fixture_dir, const std::string& made_dir);

// The generator every choice of one input is drawn from: the same key,
// reader name and index always give the same input, so a failure is
// replayed from those three alone.
class InputRandom {
public:
    InputRandom(uint64_t key, const std::string& reader, uint64_t index);
    uint64_t next();
    uint32_t below(uint32_t bound);  // 0 to bound - 1; bound 0 gives 0

private:
    uint64_t state_;
};

// Changes bytes in place: one to a few of bit flips, byte and field stores at
// header offsets (0, 1, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF in either byte
// order), inserted, deleted and repeated runs and truncation.
void mutate_bytes(std::string& bytes, InputRandom& random);

// Exit codes of a run: with failures, or ended by a guard.
enum { EXIT_FAILURES = 1, EXIT_CRASH = 2, EXIT_HANG = 3, EXIT_HEAP = 4 };

// The input being run, for the guards' reports.
struct GuardedInput {
    std::string reader;     // name in the reader table, or "file"
    uint64_t key;
    uint64_t index;
    std::string path;       // where the input is on disk now
    std::string extension;  // with the dot
    std::string kept;       // the kept file's name, for one run as it stands
};

// A watchdog thread for hangs, an exception filter and an abort handler
// that save the input before the process dies; failures are written into
// failure_dir, an input may take hang_ms of the processor (and six times
// that on the clock).
void install_guards(const std::string& failure_dir, unsigned hang_ms);
// The watchdog times from begin to end; the crash guard saves the input.
void begin_guarded_input(const GuardedInput& input);
void end_guarded_input(void);
// Copies the current input into the failure folder named by its reader,
// key, index and kind and prints one line.
void save_failure(const char* kind);
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
