// Sound metafiles of a given size, made at test time for the checks of
// what the program holds of a large picture: such files are not kept among
// the fixtures.
#pragma once

#include <stdint.h>
#include <string>

// About bytes (at least the header's) of an enhanced metafile whose frame
// is 500 x 300 reference pixels: a red rectangle over it, then red
// polylines of 4096 points in short steps inside it, each record 32 KB. The system
// converts each point of 8 bytes to one of 4 in a Windows metafile, beside
// the whole enhanced metafile it keeps there in comments.
std::string large_sound_emf(uint64_t bytes);

// The same as a Windows metafile, a 500 x 300 window: a red rectangle over
// it, then red polylines of 4096 points in short steps inside it, each
// record 16 KB.
std::string large_sound_wmf(uint64_t bytes);
