// The frame colour for the unconverted copy undoes the brightness curve:
// a brightened display shows the chosen colour where the copy has a darker
// one, and the reverse.
#include <gtest/gtest.h>

#include "viewer/frame_dialog.h"

namespace {

TEST(FrameColour, UnbrighteningInvertsTheBrightnessSteps)
{
    struct Case {
        DWORD colour;
        int step;
        DWORD expected;
    } cases[] = {
        {0x00804020, 0, 0x00804020},
        {0x00808080, 2, 0x00404040},   // brightened twice: the copy is darker
        {0x00404040, -2, 0x00808080},  // darkened twice: the copy is lighter
        {0x00FF0000, 3, 0x00FF0000},   // black and full channels stay
    };
    for (const Case& c : cases)
        EXPECT_EQ(unbrighten_color(c.colour, c.step), c.expected) << c.step;
}

}  // namespace
