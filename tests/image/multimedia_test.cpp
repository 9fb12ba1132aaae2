// Information texts of sound and video files made by sox and ffmpeg and of
// hand-made broken headers, and where the media window goes.
#include "image/multimedia.h"

#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"
#include "support/dib_block.h"
#include "support/test_support.h"

namespace {

typedef void (*InfoFn)(const char*, char*);

std::string info_of(InfoFn fn, const std::string& path)
{
    char info[INFO_TEXT_SIZE];
    info[0] = '\0';
    fn(path.c_str(), info);
    return info;
}

// ---- hand-made headers

std::string be32(uint32_t v) { return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v}; }

std::string wav(uint32_t bytes_per_second, const std::string& tail)
{
    std::string fmt = std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(bytes_per_second) +
                      std::string("\x04\x00\x10\x00", 4);
    return "RIFF" + le32(36) + "WAVEfmt " + le32(16) + fmt + tail;
}

std::string atom(const char* type, uint32_t size, const std::string& body)
{
    return be32(size) + type + body;
}

std::string mvhd(uint32_t scale, uint32_t duration)
{
    return atom("mvhd", 108, std::string(12, '\0') + be32(scale) + be32(duration) + std::string(80, '\0'));
}

struct InfoCase {
    const char* name;
    InfoFn fn;
    std::string bytes;  // written to a file, unless the case names a fixture
    const char* expected;
    const char* fixture = nullptr;
};

std::vector<InfoCase> info_cases()
{
    const std::string movie = mvhd(600, 1200);
    return {
        // 1 411 200 bytes at 176 400 bytes/s: 800 hundredths, 8.005 s; 90 s
        // becomes 1 min. and 30.005 s, which prints below the half.
        {"wav_short", get_wav_info, "",
         "file type: WAVE audio data \nplaying time: 8.01 sec. \nformat tag: 1 \nchannels: 2 \n"
         "average bytes/second: 176400 \n", "media/tone8.wav"},
        {"wav_minutes", get_wav_info, "",
         "file type: WAVE audio data \nplaying time: 1 min. 30.00 sec. \nformat tag: 1 \nchannels: 1 \n"
         "average bytes/second: 8000 \n", "media/long90.wav"},
        {"avi", get_avi_info, "",
         "file type: Windows audio-video\n            interleaved (AVI)\nstreams: 2 \nwidth: 64 \nheight: 48 \n"
         "scale: 1 \nrate: 10 \nlength: 20 \n", "media/clip.avi"},
        {"quicktime", get_quicktime_info, "", "file type: QuickTime Movie (Apple) \nplaying time: 3.00 sec. \n",
         "media/movie.mov"},
        // The frame header is found behind the ID3 tag.
        {"mp3", get_mpeg_audio_info, "",
         "MPEG Version 1 Layer III \nbitrate index: 128 kbps \nsampling rate frequency index: 44100 Hz \n"
         "channel: mono \ncopyright: no \n", "media/tone.mp3"},
        {"missing_wav", get_wav_info, "", "file type: WAVE audio data \n", "media/none.wav"},
        // No rate: no playing time instead of a division by zero.
        {"wav_zero_rate", get_wav_info, wav(0, "data" + le32(1000)),
         "file type: WAVE audio data \nformat tag: 1 \nchannels: 2 \naverage bytes/second: 0 \n"},
        // A 4 GB size at 1 byte/s: the product does not wrap.
        {"wav_huge_size", get_wav_info, wav(1, "data" + le32(0xFFFFFFFFu)),
         "file type: WAVE audio data \nplaying time: 71582788 min. 15.01 sec. \nformat tag: 1 \n"
         "channels: 2 \naverage bytes/second: 1 \n"},
        {"wav_without_data", get_wav_info, wav(100, "LIST" + le32(4) + "INFO"),
         "file type: WAVE audio data \nformat tag: 1 \nchannels: 2 \naverage bytes/second: 100 \n"},
        {"wav_cut_in_size", get_wav_info, wav(100, "data\x10"),
         "file type: WAVE audio data \nformat tag: 1 \nchannels: 2 \naverage bytes/second: 100 \n"},
        // Sizes 0, 1 and below 8 end the walk instead of standing still.
        {"qt_size_0", get_quicktime_info, atom("free", 0, "") + atom("moov", 116, movie),
         "file type: QuickTime Movie (Apple) \n"},
        {"qt_size_1", get_quicktime_info, atom("wide", 1, "") + atom("moov", 116, movie),
         "file type: QuickTime Movie (Apple) \n"},
        {"qt_inner_size_4", get_quicktime_info, atom("moov", 124, atom("trak", 4, "") + movie),
         "file type: QuickTime Movie (Apple) \n"},
        {"qt_zero_scale", get_quicktime_info, atom("moov", 116, mvhd(0, 5)),
         "file type: QuickTime Movie (Apple) \n"},
        {"qt_after_free", get_quicktime_info, atom("free", 12, "abcd") + atom("moov", 116, movie),
         "file type: QuickTime Movie (Apple) \nplaying time: 2.00 sec. \n"},
        {"midi", get_midi_info, std::string("MThd\0\0\0\x06\0\x01\0\x02\xFF\x88", 14),
         "file type: standard MIDI file \n     (Musical Instrument Digital Interface) \nformat: 1 \n"
         "number of tracks: 2 \npulses per quarter note: -120 \n"},
        {"midi_header_7", get_midi_info, std::string("MThd\0\0\0\x07\0\x01\0\x02\x01\xE0\0", 15), ""},
        {"mp3_without_frame", get_mpeg_audio_info, std::string("ID3\x03\0\0\0\0\0\0\xFF\xFA", 12), ""},
        {"mp3_header_at_end", get_mpeg_audio_info, std::string("xx\xFF\xFB\x90", 5), ""},
    };
}

class MediaInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(MediaInfo, WritesTheHeaderFactsAndStaysInsideTheFile)
{
    const InfoCase& c = GetParam();
    std::string path = c.fixture ? fixture_path(c.fixture) : test_out_path(std::string(c.name) + ".bin");
    if (!c.fixture)
        ASSERT_TRUE(write_file_bytes(path, c.bytes));
    EXPECT_EQ(info_of(c.fn, path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Files, MediaInfo, ::testing::ValuesIn(info_cases()),
                         [](const ::testing::TestParamInfo<InfoCase>& info) { return std::string(info.param.name); });

// ---- placement in the preview square (side 200 at 100, 50)

struct PlaceCase {
    const char* name;
    int picture_width, picture_height;
    MediaPlace expected;
};

const PlaceCase PLACES[] = {
    {"sound_only_bar", 0, 0, {100, 139, 206, 28}},
    {"wide_picture", 320, 240, {100, 62, 206, 181}},
    {"tall_picture", 100, 200, {157, 50, 91, 206}},
    {"zero_width_picture", 0, 120, {100, 139, 206, 28}},
};
class MediaPlacement : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(MediaPlacement, FitsTheSquare)
{
    const PlaceCase& c = GetParam();
    MediaPlace got = place_media_window(100, 50, 200, c.picture_width, c.picture_height, 26);
    EXPECT_EQ(got.x, c.expected.x);
    EXPECT_EQ(got.y, c.expected.y);
    EXPECT_EQ(got.width, c.expected.width);
    EXPECT_EQ(got.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MediaPlacement, ::testing::ValuesIn(PLACES),
                         [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

}  // namespace
