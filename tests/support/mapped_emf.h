// Enhanced metafiles that set their own mapping, recorded by GDI's own
// recorder: every mapping mode, windows and viewports with origins and a
// flipped axis, world transforms, reference devices of other resolutions,
// text, curves, paths and clips, bitmaps and pattern brushes, and a file
// of EMF+ records beside GDI ones. The conversion tests and the mutation
// harness start from them.
#pragma once

#include <string>
#include <vector>

struct MappedEmf {
    const char* name;
    std::string bits;
};

// Each picture, 2 x 1.5 inches.
std::vector<MappedEmf> mapped_emfs();
