// The text tool's settings (every font key to its own LOGFONT field, the
// defaults without a settings file) and the merge tool's file filter (the
// multimedia pair left out, never read past the list).
#include <gtest/gtest.h>

#include <cstring>

#include "app/program_entry.h"
#include "support/seam_recorder.h"
#include "tools/tool_settings.h"
#include "viewer/merge_window.h"
#include "viewer/text_window.h"

namespace {

TEST(TextSettings, DefaultsWithoutASettingsFile)
{
    SeamRecorder seams;
    seams.use_settings_file("text_none.ini");
    read_text_settings();
    EXPECT_STREQ(g_textFont.lfFaceName, "Arial");
    EXPECT_EQ(g_textFont.lfHeight, -16);
    EXPECT_EQ(g_textFont.lfWeight, 400);
}

TEST(TextSettings, EachKeyReachesItsField)
{
    SeamRecorder seams;
    const std::string ini = seams.use_settings_file("text_keys.ini");
    const struct {
        const char* key;
        const char* value;
    } keys[] = {{"FontFaceName", "Liberation Sans"}, {"FontHeight", "-21"}, {"FontWidth", "7"},
                {"FontWeight", "700"}, {"FontEscapement", "90"}, {"FontOrientation", "45"},
                {"FontItalic", "1"}, {"FontUnderline", "2"}, {"FontStrikeOut", "3"}, {"FontCharSet", "4"},
                {"FontOutPrecision", "5"}, {"FontClipPrecision", "6"}, {"FontQuality", "8"},
                {"FontPitchAndFamily", "9"}, {"TextBackgroundTransparent", "1"}, {"TextColor_Red", "16"},
                {"TextColor_Green", "32"}, {"TextColor_Blue", "48"}, {"TextBackColor_Red", "1"},
                {"TextBackColor_Green", "2"}, {"TextBackColor_Blue", "3"}};
    for (const auto& k : keys)
        WritePrivateProfileStringA("Corvane", k.key, k.value, ini.c_str());
    read_text_settings();
    const LOGFONTA& f = g_textFont;
    EXPECT_STREQ(f.lfFaceName, "Liberation Sans");
    const long got[] = {f.lfHeight, f.lfWidth, f.lfWeight, f.lfEscapement, f.lfOrientation, f.lfItalic,
                        f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision,
                        f.lfQuality, f.lfPitchAndFamily};
    const long want[] = {-21, 7, 700, 90, 45, 1, 2, 3, 4, 5, 6, 8, 9};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(got[i], want[i]) << keys[i + 1].key;
    EXPECT_EQ(g_textBackgroundTransparent, 1);
    EXPECT_EQ(g_textColor, 0x102030u);  // red in the third byte, blue in the low one
    EXPECT_EQ(g_textBackColor, 0x010203u);
}

TEST(MergeFilter, LeavesOutTheMultimediaPair)
{
    static const char LIST[] = "Image Files\0*.bmp;*.gif\0Multimedia\0*.avi\0BMP\0*.bmp\0\0";
    HGLOBAL saved = g_hFilter;
    g_hFilter = GlobalAlloc(GHND, sizeof LIST);
    std::memcpy(GlobalLock(g_hFilter), LIST, sizeof LIST);
    GlobalUnlock(g_hFilter);
    char out[64];
    merge_filter(out, sizeof out);
    static const char WANT[] = "Image Files\0*.bmp;*.gif\0BMP\0*.bmp\0\0";
    EXPECT_EQ(std::string(out, sizeof WANT), std::string(WANT, sizeof WANT));
    // A list without its closing NULs ends at the block's end.
    GlobalFree(g_hFilter);
    g_hFilter = GlobalAlloc(GMEM_FIXED, 11);
    std::memcpy(g_hFilter, "Image Files", 11);
    merge_filter(out, sizeof out);
    EXPECT_EQ(std::string(out), "Image Files");
    GlobalFree(g_hFilter);
    g_hFilter = saved;
}

}  // namespace
