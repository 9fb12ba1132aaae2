// The comment dialog's copy of the comment with CR LF line ends (a file
// without a comment shows an empty dialog: tests/e2e/comment_dialog_test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/comment_text.h"
#include "image/current_image.h"

static std::string normalized(const char* text, size_t block_size = 0)
{
    size_t length = std::strlen(text);
    if (block_size == 0)
        block_size = length + 1;
    g_hComment = GlobalAlloc(GHND, block_size);
    char* p = (char*)GlobalLock(g_hComment);
    std::memcpy(p, text, block_size < length ? block_size : length);
    GlobalUnlock(g_hComment);
    normalize_comment_line_ends(g_hComment);
    GlobalFree(g_hComment);
    g_hComment = NULL;
    std::string out;
    if (g_hCommentEdit) {
        out = (const char*)GlobalLock(g_hCommentEdit);
        GlobalUnlock(g_hCommentEdit);
    }
    return out;
}

TEST(CommentLineEnds, EveryKindOfLineEndBecomesCrLf)
{
    EXPECT_EQ("a\r\nb\r\nc\r\nd", normalized("a\nb\rc\r\nd"));
    EXPECT_EQ("\n\rx\r\n", normalized("\n\rx\r"));  // LF CR stays as it is
    EXPECT_EQ("\n\r", normalized("\n\r"));
    EXPECT_EQ("plain", normalized("plain"));
    EXPECT_EQ(6u, GlobalSize(g_hCommentEdit));  // shrunk to the text
}

TEST(CommentLineEnds, ACommentWithoutItsNulIsReadOnlyToTheBlockEnd)
{
    // A 4-byte block holding "abcd" and no NUL.
    std::string out = normalized("abcdEFGH", 4);
    EXPECT_EQ(0u, out.find("abcd"));
    EXPECT_EQ(std::string::npos, out.find('E'));
}
