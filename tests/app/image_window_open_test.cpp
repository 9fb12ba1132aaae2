// The image window's title and the enlarged media window's place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "app/image_window_open.h"
#include "image/current_image.h"

namespace {

struct TitleRow {
    ViewTitleFacts facts;
    const char* title;
};

class ViewTitle : public ::testing::TestWithParam<TitleRow> {};

TEST_P(ViewTitle, NamesFileSizeAndPage)
{
    char title[300];
    format_view_title(title, sizeof title, &GetParam().facts);
    EXPECT_STREQ(title, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(Files, ViewTitle, ::testing::Values(
    TitleRow{{"Paste from Clipboard Image", 0, 1, KIND_DIB, FMT_CLIPBOARD, 1, 1, 1, 1, 0},
             "Paste from Clipboard Image"},
    TitleRow{{"p.tif", 5000000000ULL, 0, KIND_DIB, FMT_TIFF, 2, 3, 1, 1, 0},
             "p.tif     5000000000 bytes     Page 2 of 3 Pages"},
    TitleRow{{"i.ico", 766, 0, KIND_DIB, FMT_ICON, 1, 1, 2, 3, 0}, "i.ico     766 bytes     Icon 2 of 3 Icons"},
    TitleRow{{"c.cur", 766, 0, KIND_DIB, FMT_ICON, 1, 1, 1, 2, 1}, "c.cur     766 bytes     Cursor 1 of 2 Cursors"},
    TitleRow{{"", 766, 0, KIND_DIB, FMT_ICON, 1, 1, 1, 2, 1}, ""}));

TEST(ViewTitle, StaysInsideItsBuffer)
{
    std::string name(259, 'n');
    ViewTitleFacts facts = {name.c_str(), 123, 0, KIND_DIB, FMT_TIFF, 2, 3, 1, 1, 0};
    char title[270];
    std::memset(title, 'x', sizeof title);
    format_view_title(title, 264, &facts);
    EXPECT_EQ(std::strlen(title), 263u);
    EXPECT_EQ(title[265], 'x');
}

// 4:3 video: full height and centred in a wide area; full width with the
// bar below the picture in a tall one.
TEST(EnlargedMedia, FillsTheSideTheAspectAllows)
{
    auto corners = [](RECT r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); };
    EXPECT_EQ(corners(enlarged_media_rect(1000, 426, 320, 240)), std::make_tuple(233L, 0L, 766L, 426L));
    EXPECT_EQ(corners(enlarged_media_rect(400, 800, 320, 240)), std::make_tuple(0L, 237L, 400L, 563L));
}

}  // namespace
