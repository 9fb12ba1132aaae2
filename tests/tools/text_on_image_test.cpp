// Text on the image, checked by structure rather than by glyphs: where and
// in which colours it writes, on every kind of image and on the copy.
#include <algorithm>

#include "tools/text_on_image.h"
#include "tools_test_util.h"

namespace {

const Rgb GREY = {128, 128, 128}, RED = {255, 0, 0}, WHITE = {255, 255, 255};

struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive
    void add(int x, int y)
    {
        left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
    }
};

// The extent of the pixels within the area that differ from the background.
Box changed(const RgbImage& out, Rgb background, Box area = Box{0, 0, 1 << 20, 1 << 20})
{
    Box box;
    for (int y = area.top; y <= std::min(area.bottom, out.height - 1); ++y)
        for (int x = area.left; x <= std::min(area.right, out.width - 1); ++x)
            if (!(out.at(x, y) == background))
                box.add(x, y);
    return box;
}

class TextOnImage : public ::testing::Test {
protected:
    void SetUp() override { font = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"); }
    void TearDown() override
    {
        DeleteObject(font);
        GlobalFree(text);
    }
    HGLOBAL make_text(const char* s)
    {
        GlobalFree(text);
        return text = text_block(s);
    }
    // A uniform grey 24-bit picture written on with the given settings.
    RgbImage write(const char* s, int x, int y, int transparent, int align)
    {
        HGLOBAL image = make_dib(80, 60, 24);
        for (int row = 0; row < 60; ++row)
            memset(DibBlock(image, false).row(row), 128, 240);
        write_text_on_image(image, NULL, make_text(s), font, x, y, 0xFF0000, 0xFFFFFF, 0, 0, transparent, align,
                            NULL, 0, 0);
        RgbImage out = dib_to_rgb(image);
        GlobalFree(image);
        return out;
    }
    HFONT font = NULL;
    HGLOBAL text = NULL;
};

TEST_F(TextOnImage, TransparentTextUsesOnlyItsColourAndBlendsWithin)
{
    RgbImage out = write("Hg", 10, 8, 1, 0);
    Box ink;
    int pure = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            Rgb c = out.at(x, y);
            if (c == GREY)
                continue;
            ink.add(x, y);
            pure += c == RED;
            EXPECT_TRUE(c.r >= 128 && c.g <= 128 && c.b <= 128) << x << "," << y;
        }
    EXPECT_GT(pure, 10);
    EXPECT_GE(ink.left, 12);
    EXPECT_GE(ink.top, 10);
}

TEST_F(TextOnImage, OpaqueBackgroundPaintsTheMeasuredBoxWithItsMargin)
{
    RgbImage out = write("Hg", 10, 8, 0, 0);
    Box box = changed(out, GREY);
    ASSERT_EQ(box.left * 100 + box.top, 1008);
    // Two rows and columns of background on every side of the ink.
    for (int y = box.top; y <= box.bottom; ++y)
        for (int x = box.left; x <= box.right; ++x)
            if (x < box.left + 2 || x > box.right - 2 || y < box.top + 2 || y > box.bottom - 2)
                ASSERT_EQ(out.at(x, y), WHITE) << x << "," << y;
}

TEST_F(TextOnImage, NegativePlacementSkipsWhatLiesBeforeTheEdge)
{
    RgbImage whole = write("Hg", 0, 0, 0, 0), cut = write("Hg", -5, -3, 0, 0);
    for (int y = 0; y < 60 - 3; ++y)
        for (int x = 0; x < 80 - 5; ++x)
            ASSERT_EQ(cut.at(x, y), whole.at(x + 5, y + 3)) << x << "," << y;
}

TEST_F(TextOnImage, AlignmentPutsTheShortLineOnItsSide)
{
    double centre[3];
    for (int align : {0, 1, 2}) {  // left, centred, right
        RgbImage out = write("WWWW\ni", 0, 0, 0, align);
        Box box = changed(out, GREY);
        Box short_line = changed(out, WHITE, Box{box.left, (box.top + box.bottom) / 2 + 2, box.right, box.bottom});
        centre[align] = ((short_line.left + short_line.right) / 2.0 - box.left) / (box.right - box.left);
    }
    EXPECT_LT(centre[0], 0.25);
    EXPECT_NEAR(centre[1], 0.5, 0.1);
    EXPECT_GT(centre[2], 0.75);
}

TEST_F(TextOnImage, PaletteAndAlphaImagesGetTheGivenIndicesAndAlpha)
{
    // 4 bits: hard-edged, only the two indices inside the box.
    HGLOBAL image4 = make_dib(60, 40, 4);
    write_text_on_image(image4, NULL, make_text("Hg"), font, 3, 3, 0, 0, 5, 9, 0, 0, NULL, 0, 0);
    DibBlock dib4(image4);
    int seen[16] = {};
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            ++seen[dib4.raw(x, y)];
    EXPECT_EQ(seen[0] + seen[5] + seen[9], 60 * 40);
    EXPECT_TRUE(seen[5] > 0 && seen[9] > 0);

    // 32 bits: alpha 0 everywhere stays 0; any non-zero alpha makes 255.
    for (BYTE corner : {0, 7}) {
        DibBlock dib32(make_dib(40, 30, 32));
        dib32.row(0)[3] = corner;
        dib32.unlock();
        write_text_on_image(dib32.get(), NULL, make_text("Hg"), font, 0, 0, 0xFF0000, 0xFFFFFF, 0, 0, 0, 0,
                            NULL, 0, 0);
        dib32.lock();
        EXPECT_EQ(dib32.row(29)[3], corner ? 255 : 0);
    }
}

TEST_F(TextOnImage, CopyUnderABrightnessStepGetsTheInverseCurve)
{
    // Step +2: 128 becomes 255 x (128/255)^2 + 0.5 = 64 in the 24-bit copy.
    HGLOBAL image = make_dib(60, 40, 24), copy = make_dib(60, 40, 24);
    write_text_on_image(image, copy, make_text("Hg"), font, 0, 0, 0x808080, 0xFFFFFF, 0, 0, 0, 0, NULL, 2, 0);
    RgbImage shown = dib_to_rgb(image), kept = dib_to_rgb(copy);
    EXPECT_EQ(shown.at(0, 0), WHITE);
    EXPECT_EQ(kept.at(0, 0), WHITE);
    int text = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            if (shown.at(x, y) == (Rgb{128, 128, 128})) {
                ++text;
                EXPECT_EQ(kept.at(x, y), (Rgb{64, 64, 64}));
            }
    EXPECT_GT(text, 10);
    GlobalFree(image);
    GlobalFree(copy);
}

// A text whose box is too large to render is refused with the tools'
// memory message: 0, and neither the image nor its copy is touched (the
// caller then records nothing).
TEST_F(TextOnImage, TextTooLargeToRenderReportsNothingDrawn)
{
    SeamRecorder seams;
    HGLOBAL image = make_dib(60, 40, 24), copy = make_dib(60, 40, 24);
    HFONT huge = CreateFontA(-9000, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    EXPECT_EQ(write_text_on_image(image, copy, make_text("WWWWWWWW"), huge, 0, 0, 0x808080, 0xFFFFFF, 0, 0, 0, 0,
                                  NULL, 0, 0),
              0);
    DeleteObject(huge);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Insufficient Memory for this Operation.");
    EXPECT_EQ((UINT)MB_ICONHAND, seams.boxes[0].type & MB_ICONMASK);
    EXPECT_EQ(dib_to_rgb(image).at(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(dib_to_rgb(copy).at(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(write_text_on_image(image, copy, make_text("Hg"), font, 0, 0, 0x808080, 0xFFFFFF, 0, 0, 0, 0, NULL,
                                  0, 0),
              1);
    EXPECT_EQ(dib_to_rgb(copy).at(0, 0), WHITE);
    GlobalFree(image);
    GlobalFree(copy);
}

// Reserves the process's free address space but one hole of 64 MB, so that
// no larger block can be had; gives it all back on scope exit.
class AddressSpaceHold {
public:
    AddressSpaceHold()
    {
        for (SIZE_T size = 64u << 20; size >= (64u << 10); size /= 2)
            while (void* p = VirtualAlloc(NULL, size, MEM_RESERVE, PAGE_NOACCESS))
                held_.push_back(p);
        if (!held_.empty()) {
            VirtualFree(held_.front(), 0, MEM_RELEASE);
            held_.erase(held_.begin());
        }
    }
    ~AddressSpaceHold()
    {
        for (void* p : held_)
            VirtualFree(p, 0, MEM_RELEASE);
    }

private:
    std::vector<void*> held_;
};

// A text box within the size limit whose pixels (about 110 MB as words)
// cannot be held in what is left of the 32-bit address space; a 1-bit
// image draws into a monochrome bitmap of a thirty-second of that. The
// tools' memory message, 0, the image untouched, and the process goes on.
TEST_F(TextOnImage, TextWhosePixelsCannotBeHeldGivesTheMemoryMessage)
{
    SeamRecorder seams;
    HGLOBAL image = make_dib(60, 40, 1);
    const std::string before((const char*)GlobalLock(image), GlobalSize(image));
    GlobalUnlock(image);
    HFONT large = CreateFontA(-3000, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    int result = -1;
    {
        AddressSpaceHold hold;
        result = write_text_on_image(image, NULL, make_text("WWW"), large, 0, 0, 0, 0, 1, 0, 0, 0, NULL, 0, 0);
    }
    DeleteObject(large);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Insufficient Memory for this Operation.");
    EXPECT_EQ(std::string((const char*)GlobalLock(image), GlobalSize(image)), before);
    GlobalUnlock(image);
    GlobalFree(image);
}

}  // namespace
