// The PNG comment rewrite: which text chunks go, where the new one lands,
// that every other byte stays, and that a failure changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zlib.h>

#include "formats/png.h"
#include "formats/png_comment.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

std::string be32(uint32_t v)
{
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

std::string chunk(const std::string& type, const std::string& data)
{
    std::string body = type + data;
    return be32((uint32_t)data.size()) + body +
           be32((uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
}

// The chunks of a PNG, each whole, after the signature.
std::vector<std::string> split_chunks(const std::string& png)
{
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length = ((uint32_t)(BYTE)png[at] << 24) | ((BYTE)png[at + 1] << 16) |
                          ((BYTE)png[at + 2] << 8) | (BYTE)png[at + 3];
        chunks.push_back(png.substr(at, length + 12));
        at += length + 12;
    }
    return chunks;
}

HGLOBAL text_block(const char* text)
{
    HGLOBAL h = GlobalAlloc(GHND, strlen(text) + 1);
    strcpy((char*)GlobalLock(h), text);
    GlobalUnlock(h);
    return h;
}

struct CommentedPng {
    std::string signature;
    std::vector<std::string> before_idat, idats, after_idat;
    std::string build(const std::string& inserted = "") const
    {
        std::string out = signature;
        for (const auto& c : before_idat)
            out += c;
        out += inserted;
        for (const auto& c : idats)
            out += c;
        for (const auto& c : after_idat)
            out += c;
        return out;
    }
};

// basn0g08 with its image data in two IDAT chunks and text chunks that
// must stay; with_old_descriptions adds those that must go.
CommentedPng make_source()
{
    std::string base = read_file_bytes(fixture_path("png/basn0g08.png"));
    CommentedPng png;
    png.signature = base.substr(0, 8);
    std::string data;
    for (const std::string& c : split_chunks(base)) {
        std::string type = c.substr(4, 4);
        if (type == "IDAT")
            data += c.substr(8, c.size() - 12);
        else if (type != "IEND")
            png.before_idat.push_back(c);
    }
    png.before_idat.push_back(chunk("tEXt", std::string("Descriptions\0kept", 17)));
    png.idats = {chunk("IDAT", data.substr(0, 40)), chunk("IDAT", data.substr(40))};
    png.after_idat = {chunk("tEXt", std::string("Author\0kept too", 15)), chunk("IEND", "")};
    return png;
}

CommentedPng with_old_descriptions(CommentedPng png)
{
    png.before_idat.insert(png.before_idat.begin() + 1, chunk("tEXt", std::string("DESCRIPTION\0old", 15)));
    png.before_idat.push_back(chunk("zTXt", std::string("description\0\0x\x9c\x03\0\0\0\0\x01", 22)));
    png.before_idat.push_back(chunk("iTXt", std::string("Description\0\0\0\0\0older", 21)));
    png.after_idat.insert(png.after_idat.begin(), chunk("tEXt", std::string("description\0late", 16)));
    return png;
}

}  // namespace

TEST(PngComment, ReplacesEveryDescriptionAndKeepsEveryOtherByte)
{
    SeamRecorder seams(32);
    CommentedPng source = make_source();
    std::string path = test_out_path("png_comment_rewritten.png");
    ASSERT_TRUE(write_file_bytes(path, with_old_descriptions(source).build()));
    HGLOBAL hComment = text_block("abc");
    write_png_comment(path.c_str(), &hComment);
    EXPECT_EQ(source.build(chunk("tEXt", std::string("Description\0abc", 15))), read_file_bytes(path));
    ASSERT_NE(nullptr, hComment);
    GlobalFree(hComment);

    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL image = read_png_file(path.c_str(), info);
    ASSERT_NE(nullptr, image);
    GlobalFree(image);
    ASSERT_NE(nullptr, g_hComment);
    EXPECT_STREQ("abc", (const char*)GlobalLock(g_hComment));
    GlobalUnlock(g_hComment);
    GlobalFree(g_hComment);
    g_hComment = NULL;

    // An empty comment only removes.
    std::string emptied = test_out_path("png_comment_emptied.png");
    ASSERT_TRUE(write_file_bytes(emptied, with_old_descriptions(source).build()));
    HGLOBAL none = NULL;
    write_png_comment(emptied.c_str(), &none);
    EXPECT_EQ(source.build(), read_file_bytes(emptied));
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PngComment, BrokenOrLockedFileStaysAsItWasAndTheCommentIsKept)
{
    SeamRecorder seams(32);
    std::string whole = with_old_descriptions(make_source()).build();
    std::string path = test_out_path("comment_broken.png");
    for (size_t cut : {whole.size() - 12, whole.size() - 30, (size_t)20}) {
        SCOPED_TRACE(cut);
        std::string broken = whole.substr(0, cut);
        ASSERT_TRUE(write_file_bytes(path, broken));
        HGLOBAL hComment = text_block("kept");
        write_png_comment(path.c_str(), &hComment);
        EXPECT_EQ(broken, read_file_bytes(path));
        ASSERT_NE(nullptr, hComment);
        GlobalFree(hComment);
    }
    EXPECT_TRUE(seams.boxes.empty());

    // Another program holds the file open for reading only.
    ASSERT_TRUE(write_file_bytes(path, whole));
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    HGLOBAL hComment = text_block("typed");
    write_png_comment(path.c_str(), &hComment);
    CloseHandle(reader);
    EXPECT_EQ(whole, read_file_bytes(path));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Cannot Open File for Writing.", seams.boxes[0].text);
    EXPECT_EQ(path, seams.boxes[0].caption);
    ASSERT_NE(nullptr, hComment);
    EXPECT_STREQ("typed", (const char*)GlobalLock(hComment));
    GlobalUnlock(hComment);
    GlobalFree(hComment);
}
