// The cross-built libraries link and work in this build: one round trip
// through each. zlib, liblzma, JBIG-KIT and both IJG builds are reached as
// libtiff's codecs; files written through them are read by Debian's tools in
// the TIFF writer's checks, and the IJG lossless mode is the JPEG writer's.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lcms2.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>

#include "support/test_support.h"

static std::string g_tiff_errors;

static void collect_tiff_error(const char* module, const char* format, va_list args)
{
    char message[512];
    vsnprintf(message, sizeof message, format, args);
    g_tiff_errors += std::string(module ? module : "") + ": " + message + "\n";
}

// Sample i of samples of `bits` packed MSB first (1, 8 or 12 bits: never
// more than two bytes apart).
static unsigned get_sample(const std::vector<uint8_t>& packed, int bits, size_t i)
{
    size_t bit = i * bits, at = bit / 8;
    unsigned window = packed[at] << 8 | (at + 1 < packed.size() ? packed[at + 1] : 0);
    return window >> (16 - bits - bit % 8) & ((1u << bits) - 1);
}

static void put_sample(std::vector<uint8_t>& packed, int bits, size_t i, unsigned value)
{
    size_t bit = i * bits, at = bit / 8;
    unsigned window = value << (16 - bits - bit % 8);
    packed[at] |= (uint8_t)(window >> 8);
    if (at + 1 < packed.size())
        packed[at + 1] |= (uint8_t)window;
}

struct TiffCase {
    const char* name;
    uint16_t compression;
    uint16_t bits;
    uint16_t samples;
    uint16_t photometric;
    int tolerance;  // largest sample error allowed (lossy codecs)
};

class DepsTiff : public testing::TestWithParam<TiffCase> {
};

TEST_P(DepsTiff, WritesAndReadsBack)
{
    const TiffCase& c = GetParam();
    const uint32_t width = 48, height = 32, top = (1u << c.bits) - 1;  // rows fill whole bytes
    const size_t count = (size_t)width * height * c.samples;
    std::vector<uint8_t> packed(count * c.bits / 8), read(packed.size());
    for (size_t i = 0; i < count; ++i)
        put_sample(packed, c.bits, i, c.bits == 1 ? (i % width / 3 + i / width / 5) & 1
                                                  : (i / c.samples % width) * top / width / (1 + i % c.samples));
    std::string path = test_out_path(std::string("deps_") + c.name + ".tif");
    g_tiff_errors.clear();
    TIFFSetErrorHandler(collect_tiff_error);
    TIFFSetWarningHandler(NULL);

    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_TRUE(tif != NULL) << g_tiff_errors;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, c.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, c.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, c.photometric);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);  // one strip, as JBIG requires
    ASSERT_EQ(TIFFSetField(tif, TIFFTAG_COMPRESSION, c.compression), 1) << g_tiff_errors;
    if (c.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        // The 12-bit path cannot write the Huffman tables in JPEGTables.
        TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, JPEGTABLESMODE_QUANT);
    }
    EXPECT_EQ(TIFFWriteEncodedStrip(tif, 0, packed.data(), (tmsize_t)packed.size()),
              (tmsize_t)packed.size()) << g_tiff_errors;
    TIFFClose(tif);

    tif = TIFFOpen(path.c_str(), "r");
    ASSERT_TRUE(tif != NULL) << g_tiff_errors;
    EXPECT_EQ(TIFFReadEncodedStrip(tif, 0, read.data(), (tmsize_t)read.size()),
              (tmsize_t)read.size()) << g_tiff_errors;
    TIFFClose(tif);
    int max_error = 0;
    for (size_t i = 0; i < count; ++i)
        max_error = std::max(max_error, std::abs((int)get_sample(packed, c.bits, i) -
                                                 (int)get_sample(read, c.bits, i)));
    EXPECT_LE(max_error, c.tolerance);
    EXPECT_TRUE(g_tiff_errors.empty()) << g_tiff_errors;
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DepsTiff,
    testing::Values(
        TiffCase{"deflate", COMPRESSION_ADOBE_DEFLATE, 8, 3, PHOTOMETRIC_RGB, 0},
        TiffCase{"lzma", COMPRESSION_LZMA, 8, 1, PHOTOMETRIC_MINISBLACK, 0},
        TiffCase{"jbig", COMPRESSION_JBIG, 1, 1, PHOTOMETRIC_MINISWHITE, 0},
        TiffCase{"jpeg8", COMPRESSION_JPEG, 8, 3, PHOTOMETRIC_RGB, 4},
        TiffCase{"jpeg12", COMPRESSION_JPEG, 12, 1, PHOTOMETRIC_MINISBLACK, 40}),
    [](const testing::TestParamInfo<TiffCase>& info) { return std::string(info.param.name); });

TEST(Deps, PngRoundTripInMemory)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 37;
    image.height = 21;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image)), png(PNG_IMAGE_SIZE(image) * 2 + 1024);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (uint8_t)((i * 7) ^ (i >> 5));
    png_alloc_size_t size = png.size();
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, NULL)) << image.message;
    png_image_free(&image);

    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), size)) << image.message;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> decoded(pixels.size());
    ASSERT_TRUE(png_image_finish_read(&image, NULL, decoded.data(), 0, NULL)) << image.message;
    EXPECT_TRUE(decoded == pixels);
}

TEST(Deps, Lcms2TurnsSrgbRedIntoItsLabValue)
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(NULL);  // D50, as ICC Lab is
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                                 INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_TRUE(transform != NULL);
    const uint8_t red[3] = {255, 0, 0};
    cmsCIELab out;
    cmsDoTransform(transform, red, &out, 1);
    // sRGB red under D50 (Bradford): L 54.29, a 80.80, b 69.89.
    EXPECT_NEAR(out.L, 54.29, 0.5);
    EXPECT_NEAR(out.a, 80.80, 0.8);
    EXPECT_NEAR(out.b, 69.89, 0.8);
    cmsDeleteTransform(transform);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
}

TEST(Deps, OpenjpegLosslessRoundTripThroughAFile)
{
    const int width = 40, height = 24;
    opj_image_cmptparm_t component;
    std::memset(&component, 0, sizeof component);
    component.dx = component.dy = 1;
    component.w = width;
    component.h = height;
    component.prec = 8;
    opj_image_t* image = opj_image_create(1, &component, OPJ_CLRSPC_GRAY);
    ASSERT_TRUE(image != NULL);
    image->x1 = width;
    image->y1 = height;
    std::vector<OPJ_INT32> samples(width * height);
    for (int i = 0; i < width * height; ++i)
        samples[i] = (i * 13 + i / width * 7) & 0xFF;
    // The encoder may take over the image's sample buffer: compare with a copy.
    std::memcpy(image->comps[0].data, samples.data(), sizeof(OPJ_INT32) * samples.size());

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);  // lossless 5/3 wavelet
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.numresolution = 3;  // the default 6 needs a side of 32 or more
    std::string path = test_out_path("deps_round_trip.j2k");
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
    bool encoded = opj_setup_encoder(codec, &parameters, image) && opj_start_compress(codec, image, stream) &&
                   opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    ASSERT_TRUE(encoded);

    opj_dparameters_t dparameters;
    opj_set_default_decoder_parameters(&dparameters);
    codec = opj_create_decompress(OPJ_CODEC_J2K);
    stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE);
    opj_image_t* decoded = NULL;
    bool ok = opj_setup_decoder(codec, &dparameters) && opj_read_header(stream, codec, &decoded) &&
              opj_decode(codec, stream, decoded) && opj_end_decompress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    ASSERT_TRUE(ok);
    ASSERT_EQ(decoded->comps[0].w * decoded->comps[0].h, (OPJ_UINT32)samples.size());
    EXPECT_EQ(std::memcmp(decoded->comps[0].data, samples.data(), sizeof(OPJ_INT32) * samples.size()), 0);
    opj_image_destroy(decoded);
}
