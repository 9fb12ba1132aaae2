// The peak resident memory of this process across a span of work, such as
// one read. Wine's process memory counters do not move, so the Linux
// process that runs this program is asked: its high-water mark of resident
// memory is reset when a watch begins and read when it is asked.
#pragma once

#include <stdint.h>

class PeakMemoryWatch {
public:
    PeakMemoryWatch();  // resets the high-water mark
    // How far resident memory rose above its level at the start, at its
    // highest since then; 0 when the counters cannot be read.
    uint64_t rise() const;
    // The counters were found (a Linux /proc under Wine).
    bool works() const { return start_ != 0; }

private:
    uint64_t start_;
};

// A read of a hostile file may raise resident memory by at most this much.
const uint64_t HOSTILE_PEAK_MARGIN = 64u << 20;
