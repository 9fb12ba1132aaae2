// The edit history: what each record copies or takes over from the tool
// globals, and that clearing frees it all and keeps only the base record.
#include <gtest/gtest.h>

#include "image/merge_source.h"
#include "tools/edit_history.h"
#include "tools/red_eye.h"
#include "tools/tool_settings.h"
#include "tools_test_util.h"

namespace {

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_current_image();
        clear_edit_history();
    }
    void TearDown() override
    {
        clear_edit_history();
        reset_current_image();
    }
    EditRecord record(UINT i)
    {
        EditRecord r;
        EditRecord* all = (EditRecord*)GlobalLock(g_hEditHistory);
        r = all[i];
        GlobalUnlock(g_hEditHistory);
        return r;
    }
    static HGLOBAL block_of(const void* data, SIZE_T size)
    {
        HGLOBAL h = GlobalAlloc(GHND, size);
        std::memcpy(GlobalLock(h), data, size);
        GlobalUnlock(h);
        return h;
    }
};

}  // namespace

TEST_F(History, ClearKeepsOneRecordWithTheTransparencyState)
{
    push_edit_record(EDIT_ROTATE_CW90, 0);
    push_edit_record(EDIT_COLOR_CONVERSION, CONV_GREYSCALE);
    EXPECT_EQ(2u, g_editCount);
    EXPECT_EQ(3 * sizeof(EditRecord), GlobalSize(g_hEditHistory));
    EXPECT_EQ((UINT)CONV_GREYSCALE, record(2).arg);
    g_hasTransparency = 1;
    g_transparentIndex = 7;
    g_transparentDisplayColor = 0x00ABCDEF;
    clear_edit_history();
    EXPECT_EQ(0u, g_editCount);
    EXPECT_EQ(sizeof(EditRecord), GlobalSize(g_hEditHistory));
    EXPECT_EQ(7, record(0).transparentIndex);
    EXPECT_EQ(0x00ABCDEFu, record(0).color);
}

TEST_F(History, ClipboardMergeRecordsTheMergeKindAndTakesTheBlocks)
{
    g_mergeKind = MERGE_EMF;
    g_mergePlaced = 1;
    SetRect(&g_rcMerge, 1, 2, 3, 4);
    g_mergeKeyColor = RGB(10, 20, 30);
    g_hMergeImage = GlobalAlloc(GHND, 16);
    g_hMergeBits = GlobalAlloc(GHND, 16);
    HGLOBAL image = g_hMergeImage, bits = g_hMergeBits;
    push_edit_record(EDIT_MERGE_CLIPBOARD, 99);
    EditRecord r = record(1);
    EXPECT_EQ((UINT)MERGE_EMF, r.arg);
    EXPECT_EQ(1u, r.flag);
    EXPECT_EQ(4, r.params[3]);
    EXPECT_EQ(0x000A141Eu, r.color);  // bytes blue, green, red
    EXPECT_EQ(image, r.hData);
    EXPECT_EQ(bits, r.hData2);
    EXPECT_EQ(NULL, g_hMergeImage);
    EXPECT_EQ(NULL, g_hMergeBits);

    g_hMergePath = block_of("c:\\a.bmp", 9);
    HGLOBAL path = g_hMergePath;
    push_edit_record(EDIT_MERGE_FILE, 0);
    EXPECT_EQ(path, record(2).hData);
    EXPECT_EQ(NULL, g_hMergePath);
}

TEST_F(History, AngleAndTextAreCopiedAndFreedByClear)
{
    g_rotateAngle = 33.5;
    push_edit_record(EDIT_ROTATE_ANGLE, 0);
    double angle = 0;
    std::memcpy(&angle, GlobalLock(record(1).hData), sizeof angle);
    GlobalUnlock(record(1).hData);
    EXPECT_EQ(33.5, angle);

    HGLOBAL saved_text = g_hWriteText;
    g_hWriteText = block_of("Hello", 6);
    g_textPosX = 12;
    g_textAlign = 1;
    g_textFont.lfHeight = -20;
    push_edit_record(EDIT_TEXT, 0);
    EditRecord r = record(2);
    ASSERT_TRUE(r.hData);
    EditTextBlock* block = (EditTextBlock*)GlobalLock(r.hData);
    ASSERT_TRUE(block->hText);
    EXPECT_NE(g_hWriteText, block->hText);
    EXPECT_STREQ("Hello", (const char*)GlobalLock(block->hText));
    GlobalUnlock(block->hText);
    EXPECT_EQ(12, block->x);
    EXPECT_EQ(1, block->align);
    EXPECT_EQ(-20, block->font.lfHeight);
    HGLOBAL text_copy = block->hText;
    GlobalUnlock(r.hData);

    clear_edit_history();
    // Both the block and its text copy are gone; the tool's own text stays.
    EXPECT_EQ(0u, GlobalSize(text_copy));
    EXPECT_EQ(0u, GlobalSize(r.hData));
    EXPECT_EQ(6u, GlobalSize(g_hWriteText));
    GlobalFree(g_hWriteText);
    g_hWriteText = saved_text;
}
