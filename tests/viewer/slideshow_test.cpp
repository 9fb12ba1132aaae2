// The caption strip's text must stay readable on every background colour.
#include "viewer/slideshow.h"

#include <gtest/gtest.h>

TEST(SlideCaption, TextColourStaysReadableOnEachBackground)
{
    const COLORREF BLACK = RGB(0, 0, 0), WHITE = RGB(255, 255, 255);
    struct {
        COLORREF background, text;
    } const rows[] = {
        {RGB(255, 255, 255), BLACK},
        {RGB(255, 255, 0), BLACK},
        {RGB(0, 255, 0), BLACK},      // pure green, although its mean is dark
        {RGB(0, 0, 255), WHITE},
        {RGB(255, 0, 0), WHITE},      // mean 85
        {RGB(0, 0, 0), WHITE},
        {RGB(128, 128, 128), BLACK},  // mean exactly 128
        {RGB(127, 128, 128), WHITE},  // mean 127.67, truncated
    };
    for (const auto& row : rows)
        EXPECT_EQ(caption_text_color(row.background), row.text) << std::hex << row.background;
}
