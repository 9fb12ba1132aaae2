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

// Next File, Last File and the slideshow wrap around the list; a file that
// left the list (moved, deleted, filtered away) goes to the first entry in
// both directions, a capture or paste to the selected entry itself.
TEST(NextFileStep, LandsWhereThePersonExpects)
{
    struct {
        int count, index, selection, captured, forward, want;
    } const rows[] = {
        {5, 2, 2, 0, 1, 3},   {5, 2, 2, 0, 0, 1},   {5, 4, 4, 0, 1, 0},  {5, 0, 0, 0, 0, 4},
        {1, 0, 0, 0, 1, 0},   {1, 0, 0, 0, 0, 0},   // one entry: itself both ways
        {5, -1, 3, 0, 1, 0},  {5, -1, 3, 0, 0, 0},  // gone from the list
        {5, -1, -1, 0, 0, 0},
        {5, -1, 2, 1, 1, 2},  {5, -1, 2, 1, 0, 2},  // capture with a selection
        {5, -1, -1, 1, 1, 0}, {5, -1, -1, 1, 0, 0},  // capture, nothing selected
        {0, -1, -1, 0, 1, -1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(slide_step_index(r.count, r.index, r.selection, r.captured, r.forward), r.want)
            << r.count << " " << r.index << " " << r.selection << " " << r.captured << " " << r.forward;
}
