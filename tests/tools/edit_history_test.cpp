// The edit history: each block has one owner (what the records hold is
// replayed, and so checked, by edit_replay_test).
#include "image/merge_source.h"
#include "tools_test_util.h"

namespace {

EditRecord record(UINT i)
{
    EditRecord r = ((EditRecord*)GlobalLock(g_hEditHistory))[i];
    GlobalUnlock(g_hEditHistory);
    return r;
}

TEST(History, ClearKeepsOneRecordWithTheTransparencyState)
{
    clear_edit_history();
    push_edit_record(EDIT_ROTATE_CW90, 0);
    push_edit_record(EDIT_COLOR_CONVERSION, CONV_GREYSCALE);
    EXPECT_EQ(3 * sizeof(EditRecord), GlobalSize(g_hEditHistory));
    g_hasTransparency = 1;
    g_transparentIndex = 7;
    g_transparentDisplayColor = 0x00ABCDEF;
    clear_edit_history();
    reset_current_image();
    EXPECT_EQ(0u, g_editCount);
    EXPECT_EQ(sizeof(EditRecord), GlobalSize(g_hEditHistory));
    EXPECT_EQ(7, record(0).transparentIndex);
    EXPECT_EQ(0x00ABCDEFu, record(0).color);
}

// A metafile merge's bits and a file merge's path go to the record.
// (The clipboard image itself: merge_image_test.)
TEST(History, MergeRecordsTakeTheBlocks)
{
    clear_edit_history();
    g_mergeKind = MERGE_EMF;
    g_hMergeImage = GlobalAlloc(GHND, 16);
    g_hMergeBits = GlobalAlloc(GHND, 16);
    HGLOBAL bits = g_hMergeBits;
    push_edit_record(EDIT_MERGE_CLIPBOARD, 99);
    EXPECT_EQ(bits, record(1).hData2);
    EXPECT_EQ(NULL, g_hMergeBits);
    g_hMergePath = text_block("c:\\a.bmp");
    HGLOBAL path = g_hMergePath;
    push_edit_record(EDIT_MERGE_FILE, 0);
    EXPECT_EQ(path, record(2).hData);
    EXPECT_EQ(NULL, g_hMergePath);
    clear_edit_history();
    g_mergeKind = MERGE_NONE;
}

// The angle is copied (the replay sets the tool's angle anew each time);
// clearing frees the text's copies but not the tool's own text.
TEST(History, AngleAndTextAreCopiedAndClearFreesTheCopiesNotTheTool)
{
    clear_edit_history();
    g_rotateAngle = 33.5;
    push_edit_record(EDIT_ROTATE_ANGLE, 0);
    double angle = 0;
    std::memcpy(&angle, GlobalLock(record(1).hData), sizeof angle);
    GlobalUnlock(record(1).hData);
    EXPECT_EQ(33.5, angle);

    HGLOBAL saved_text = g_hWriteText;
    g_hWriteText = text_block("Hello");
    push_edit_record(EDIT_TEXT, 0);
    EditRecord r = record(2);
    ASSERT_TRUE(r.hData);
    HGLOBAL text_copy = ((EditTextBlock*)GlobalLock(r.hData))->hText;
    GlobalUnlock(r.hData);
    ASSERT_TRUE(text_copy);
    EXPECT_NE(g_hWriteText, text_copy);
    clear_edit_history();
    EXPECT_EQ(0u, GlobalSize(text_copy));
    EXPECT_EQ(0u, GlobalSize(r.hData));
    EXPECT_EQ(6u, GlobalSize(g_hWriteText));
    GlobalFree(g_hWriteText);
    g_hWriteText = saved_text;
}

}  // namespace
