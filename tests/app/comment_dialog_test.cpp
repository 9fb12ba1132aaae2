// Title and label of the comment dialog by the file's format and kind.
#include "app/comment_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"

namespace {

struct TextCase {
    int format, kind;
    const char* title;
    const char* label;  // null: no label of its own
};

TEST(CommentDialogTexts, FollowTheFormatThenTheKind)
{
    const TextCase cases[] = {
        {FMT_JPEG12, KIND_DIB, "Insert/Update JPEG Comment", "Insert/Update JPEG Comment:"},
        {FMT_TIFF_ALT, KIND_DIB, "Insert/Update TIFF Comment", "Insert/Update TIFF Comment:"},
        {FMT_PNM, KIND_DIB, "Insert/Update JPEG Comment", nullptr},
        {FMT_NONE, KIND_EMF, "Insert/Update EnhMetaFile Comment", "Insert/Update EnhMetaFile Comment:"},
        {FMT_NONE, KIND_DIB, "Insert/Update JPEG Comment", nullptr},
    };
    for (const TextCase& c : cases) {
        CommentTexts texts = comment_dialog_texts(c.format, c.kind);
        EXPECT_STREQ(texts.title, c.title) << c.format;
        EXPECT_EQ(texts.label ? std::string(texts.label) : "-", c.label ? std::string(c.label) : "-") << c.format;
    }
}

}  // namespace
