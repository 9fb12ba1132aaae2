// The PNG comment rewrite: which text chunks go, where the new one lands,
// that every other byte stays, and that a failure changes nothing.
#include <gtest/gtest.h>
#include <zlib.h>

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

// The text a zlib stream inflates to; "damaged" when it does not.
static std::string inflated(const std::string& stream)
{
    std::string text(4096, '\0');
    uLongf bytes = (uLongf)text.size();
    if (uncompress((Bytef*)&text[0], &bytes, (const Bytef*)stream.data(), (uLong)stream.size()) != Z_OK)
        return "damaged";
    return text.substr(0, bytes);
}

// The text's line ends go into the chunk as they stand (the comment dialog
// gives each line the end it had; pngcheck, which wants LF alone, does not
// judge that file); an iTXt description is replaced by an iTXt with its
// language tag and translated keyword, holding the text as UTF-8. Text
// that Latin-1 lacks goes into an iTXt, and a compressed description gives
// a compressed one (check_png.sh: pngcheck and exiftool).
TEST(PngComment, WritesTheTextAsItStandsInTheKindOfTheOldDescription)
{
    // keyword, compression, language, translated keyword
    const std::string itxt = std::string("Description\0\0\0fr\0", 17) + "L\xC3\xA9gende" + '\0';
    const std::string itxt_z = std::string("Description\0\1\0fr\0", 17) + "L\xC3\xA9gende" + '\0';
    const std::string plain_itxt("Description\0\0\0\0\0", 16), plain_itxt_z("Description\0\1\0\0\0", 16);
    const std::string ztxt("Description\0\0", 13), empty_stream("x\x9c\x03\0\0\0\0\x01", 8);
    const std::string typed = system_text(L"x\u20AC\u201Cq\u201D\u00E9\u2014");
    const std::string utf8 = "x\xE2\x82\xAC\xE2\x80\x9Cq\xE2\x80\x9D\xC3\xA9\xE2\x80\x94";
    const struct {
        const char* name;
        std::string old_chunk, text, type, head, stored;  // stored: the text before compression
        bool compressed;
    } cases[] = {
        {"comment_lines.png", "", "first\r\nsecond\rthird\n", "tEXt", std::string("Description", 12),
         "first\r\nsecond\rthird\n", false},
        {"png_comment_itxt.png", png_chunk("iTXt", itxt + "caf\xC3\xA9 \xC3\xBCn\xC3\xAF" "code"),
         system_text(L"caf\u00E9 \u00FCn\u00EF" L"cod"), "iTXt", itxt, "caf\xC3\xA9 \xC3\xBCn\xC3\xAF" "cod", false},
        {"png_comment_cp.png", "", typed, "iTXt", plain_itxt, utf8, false},
        {"png_comment_cp_over_text.png", png_chunk("tEXt", std::string("Description\0old", 15)), typed, "iTXt",
         plain_itxt, utf8, false},
        {"png_comment_ztxt.png", png_chunk("zTXt", ztxt + empty_stream), system_text(L"caf\u00E9 new"), "zTXt", ztxt,
         "caf\xE9 new", true},
        {"png_comment_ztxt_cp.png", png_chunk("zTXt", ztxt + empty_stream), typed, "iTXt", plain_itxt_z, utf8, true},
        {"png_comment_itxt_z.png", png_chunk("iTXt", itxt_z + empty_stream), typed, "iTXt", itxt_z, utf8, true},
    };
    const std::string plain = make_png("", false);
    const size_t at = plain.find("IDAT") - 4;  // where make_png puts a chunk
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = test_out_path(c.name);
        ASSERT_TRUE(write_file_bytes(path, make_png(c.old_chunk, false)));
        HGLOBAL hComment = text_block(c.text);
        EXPECT_EQ(1, write_png_comment(path.c_str(), &hComment));
        GlobalFree(hComment);
        std::string written = read_file_bytes(path), data = c.stored;
        if (c.compressed && written.size() > plain.size() + 12 + c.head.size()) {
            size_t text_at = at + 8 + c.head.size();
            data = written.substr(text_at, written.size() - plain.size() - 12 - c.head.size());
            EXPECT_EQ(c.stored, inflated(data));
        }
        EXPECT_EQ(make_png(png_chunk(c.type, c.head + data), false), written);
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
