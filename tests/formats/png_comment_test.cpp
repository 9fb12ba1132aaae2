// The PNG comment rewrite: which text chunks go, where the new one lands,
// that every other byte stays, and that a failure changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/png.h"
#include "formats/png_comment.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"

namespace {

// basn0g08 with two IDAT chunks, texts that stay, "inserted" before the first
// IDAT and, when asked, descriptions of every kind and case that must go.
std::string make_png(const std::string& inserted, bool old_descriptions)
{
    std::string base = read_file_bytes(fixture_path("png/basn0g08.png"));
    size_t idat = base.find("IDAT") - 4;
    uint32_t length = (uint32_t)((BYTE)base[idat + 2] << 8 | (BYTE)base[idat + 3]);
    std::string data = base.substr(idat + 8, length);
    std::string old = old_descriptions ? png_chunk("tEXt", std::string("DESCRIPTION\0old", 15)) +
                                             png_chunk("zTXt", std::string("description\0\0x\x9c\x03\0\0\0\0\x01", 22)) +
                                             png_chunk("iTXt", std::string("Description\0\0\0\0\0older", 21))
                                       : "";
    return base.substr(0, idat) + old + png_chunk("tEXt", std::string("Descriptions\0kept", 17)) + inserted +
           png_chunk("IDAT", data.substr(0, 40)) + png_chunk("IDAT", data.substr(40)) +
           (old_descriptions ? png_chunk("tEXt", std::string("description\0late", 16)) : "") +
           png_chunk("tEXt", std::string("Author\0kept too", 15)) + png_chunk("IEND", "");
}

}  // namespace

TEST(PngComment, ReplacesEveryDescriptionAndKeepsEveryOtherByte)
{
    SeamRecorder seams(32);
    std::string path = test_out_path("png_comment_rewritten.png");
    ASSERT_TRUE(write_file_bytes(path, make_png("", true)));
    HGLOBAL hComment = text_block("abc");
    EXPECT_EQ(1, write_png_comment(path.c_str(), &hComment));
    EXPECT_EQ(make_png(png_chunk("tEXt", std::string("Description\0abc", 15)), false), read_file_bytes(path));
    ASSERT_NE(nullptr, hComment);
    GlobalFree(hComment);

    // An empty comment only removes.
    std::string emptied = test_out_path("png_comment_emptied.png");
    ASSERT_TRUE(write_file_bytes(emptied, make_png("", true)));
    HGLOBAL none = NULL;
    EXPECT_EQ(1, write_png_comment(emptied.c_str(), &none));
    EXPECT_EQ(make_png("", false), read_file_bytes(emptied));
    EXPECT_TRUE(seams.boxes.empty());
}

// The text in the system's code page.
static std::string system_text(const wchar_t* text)
{
    char bytes[64] = "";
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    return std::string(bytes, n > 0 ? n - 1 : 0);
}

// The text's line ends go into the chunk as they stand (the comment dialog
// gives each line the end it had; pngcheck, which wants LF alone, does not
// judge that file); an iTXt description is replaced by an iTXt with its
// language tag and translated keyword, holding the text as UTF-8
// (check_png.sh: pngcheck and exiftool).
TEST(PngComment, WritesTheTextAsItStandsInTheKindOfTheOldDescription)
{
    // keyword, no compression, language, translated keyword
    const std::string itxt = std::string("Description\0\0\0fr\0", 17) + "L\xC3\xA9gende" + '\0';
    const struct {
        const char* name;
        std::string old_chunk, text, new_chunk;
    } cases[] = {
        {"comment_lines.png", "", "first\r\nsecond\rthird\n",
         png_chunk("tEXt", std::string("Description", 12) + "first\r\nsecond\rthird\n")},
        {"png_comment_itxt.png", png_chunk("iTXt", itxt + "caf\xC3\xA9 \xC3\xBCn\xC3\xAF" "code"),
         system_text(L"caf\u00E9 \u00FCn\u00EF" L"cod"), png_chunk("iTXt", itxt + "caf\xC3\xA9 \xC3\xBCn\xC3\xAF" "cod")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = test_out_path(c.name);
        ASSERT_TRUE(write_file_bytes(path, make_png(c.old_chunk, false)));
        HGLOBAL hComment = text_block(c.text);
        EXPECT_EQ(1, write_png_comment(path.c_str(), &hComment));
        GlobalFree(hComment);
        EXPECT_EQ(make_png(c.new_chunk, false), read_file_bytes(path));
    }
}

TEST(PngComment, BrokenOrLockedFileStaysAsItWasAndTheCommentIsKept)
{
    SeamRecorder seams(32);
    std::string whole = make_png("", true);
    std::string path = test_out_path("comment_broken.png");
    HGLOBAL hComment = text_block("typed");
    for (size_t cut : {whole.size() - 12, whole.size() - 30, (size_t)20}) {
        ASSERT_TRUE(write_file_bytes(path, whole.substr(0, cut)));
        EXPECT_EQ(0, write_png_comment(path.c_str(), &hComment)) << "failure reported as success";
        EXPECT_EQ(whole.substr(0, cut), read_file_bytes(path)) << cut;
    }

    // Another program holds the file open for reading only.
    ASSERT_TRUE(write_file_bytes(path, whole));
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(0, write_png_comment(path.c_str(), &hComment));
    CloseHandle(reader);
    EXPECT_EQ(whole, read_file_bytes(path));

    // Another program has locked the file's end: a write in place would stop
    // half-way through it.
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(LockFile(other, (DWORD)whole.size() - 12, 0, 12, 0));
    EXPECT_EQ(0, write_png_comment(path.c_str(), &hComment));
    UnlockFile(other, (DWORD)whole.size() - 12, 0, 12, 0);
    CloseHandle(other);
    EXPECT_EQ(whole, read_file_bytes(path));
    ASSERT_EQ(5u, seams.boxes.size());
    for (const RecordedBox& box : seams.boxes) {
        EXPECT_EQ("Cannot Open File for Writing.", box.text);
        EXPECT_EQ(path, box.caption);
    }
    ASSERT_NE(nullptr, hComment);
    EXPECT_STREQ("typed", (const char*)GlobalLock(hComment));
    GlobalUnlock(hComment);
    GlobalFree(hComment);
}
