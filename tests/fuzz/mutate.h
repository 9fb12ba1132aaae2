// Deterministic mutation of a file's bytes: the same key, reader name and
// index always give the same input, so a failure is replayed from those
// three alone.
#pragma once

#include <stdint.h>

#include <string>

// The generator every choice of one input is drawn from.
class InputRandom {
public:
    InputRandom(uint64_t key, const std::string& reader, uint64_t index);
    uint64_t next();
    // 0 to bound - 1; bound 0 gives 0.
    uint32_t below(uint32_t bound);

private:
    uint64_t state_;
};

// Changes bytes in place: one to a few of bit flips, byte and field stores at
// header offsets (0, 1, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF in either byte
// order), inserted, deleted and repeated runs and truncation.
void mutate_bytes(std::string& bytes, InputRandom& random);
