// The mutator (see fuzz.h). Half of the positions fall in the first 64
// bytes, where headers keep the sizes, counts and offsets a reader trusts.
#include "fuzz/fuzz.h"

static uint64_t mix(uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

InputRandom::InputRandom(uint64_t key, const std::string& reader, uint64_t index)
{
    uint64_t name = 1469598103934665603ull;  // FNV-1a of the reader's name
    for (unsigned char c : reader)
        name = (name ^ c) * 1099511628211ull;
    state_ = mix(key) ^ mix(name + 1) ^ mix(index * 0x632BE59BD9B4E019ull + 7);
}

uint64_t InputRandom::next()
{
    state_ += 0x9E3779B97F4A7C15ull;
    return mix(state_);
}

uint32_t InputRandom::below(uint32_t bound)
{
    return bound ? (uint32_t)(next() % bound) : 0;
}

static size_t pick_position(std::string& bytes, InputRandom& random)
{
    uint32_t size = (uint32_t)bytes.size();
    if (size > 64 && random.below(2))
        return random.below(64);
    return random.below(size);
}

static void store(std::string& bytes, size_t at, uint32_t value, int width, bool big_endian)
{
    for (int i = 0; i < width && at + i < bytes.size(); i++) {
        int shift = big_endian ? 8 * (width - 1 - i) : 8 * i;
        bytes[at + i] = (char)(value >> shift);
    }
}

static const uint32_t FIELD_VALUES[] = {0, 1, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0x8000, 0x80000000, 2, 0x100};
static const uint8_t BYTE_VALUES[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFE, 0x10, 0x40};

static void mutate_once(std::string& bytes, InputRandom& random)
{
    if (bytes.empty()) {
        bytes.assign(1 + random.below(16), (char)random.below(256));
        return;
    }
    size_t at = pick_position(bytes, random);
    switch (random.below(9)) {
    case 0:
        bytes[at] = (char)(bytes[at] ^ (1 << random.below(8)));
        break;
    case 1:
        bytes[at] = (char)BYTE_VALUES[random.below(sizeof BYTE_VALUES)];
        break;
    case 2:
        bytes[at] = (char)(bytes[at] + (int)random.below(33) - 16);
        break;
    case 3:
        store(bytes, at & ~(size_t)random.below(2), FIELD_VALUES[random.below(10)] & 0xFFFF, 2,
              random.below(2) != 0);
        break;
    case 4:
        store(bytes, at & ~(size_t)(random.below(2) * 3), FIELD_VALUES[random.below(10)], 4,
              random.below(2) != 0);
        break;
    case 5: {
        size_t length = 1 + random.below(random.below(2) ? 8 : 256);
        std::string run(length, (char)random.below(256));
        if (random.below(2))
            for (char& c : run)
                c = (char)random.below(256);
        bytes.insert(at, run);
        break;
    }
    case 6:
        bytes.erase(at, 1 + random.below(random.below(2) ? 8 : 256));
        break;
    case 7: {
        // Repeats a piece of the file elsewhere: chunk and segment headers
        // turn up where the reader does not expect them.
        size_t from = random.below((uint32_t)bytes.size());
        size_t length = 1 + random.below(64);
        bytes.insert(at, bytes.substr(from, length));
        break;
    }
    default:
        bytes.resize(random.below((uint32_t)bytes.size()));
        break;
    }
}

void mutate_bytes(std::string& bytes, InputRandom& random)
{
    int count = 1 + (int)random.below(random.below(4) ? 3 : 8);
    for (int i = 0; i < count; i++)
        mutate_once(bytes, random);
}
