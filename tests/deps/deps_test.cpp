// The cross-built libraries link and work in this build: one round trip
// through each (the IJG builds have their own files, deps_jpeg*_test.cpp).
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
extern "C" {
#include <jbig.h>
}
#include <lcms2.h>
#include <lzma.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include "support/test_support.h"

static std::vector<uint8_t> ramp_bytes(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = (uint8_t)((i * 7) ^ (i >> 5));
    return bytes;
}

TEST(Deps, ZlibAndLzmaRoundTrip)
{
    std::vector<uint8_t> input = ramp_bytes(100000), output(input.size());
    uLongf packed_size = compressBound((uLong)input.size());
    std::vector<uint8_t> packed(packed_size);
    ASSERT_EQ(compress2(packed.data(), &packed_size, input.data(), (uLong)input.size(), 9), Z_OK);
    uLongf output_size = (uLongf)output.size();
    ASSERT_EQ(uncompress(output.data(), &output_size, packed.data(), packed_size), Z_OK);
    EXPECT_TRUE(output == input);

    size_t xz_size = 0, in_pos = 0, out_pos = 0;
    std::vector<uint8_t> xz(lzma_stream_buffer_bound(input.size()));
    ASSERT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC32, NULL, input.data(), input.size(),
                                      xz.data(), &xz_size, xz.size()), LZMA_OK);
    std::fill(output.begin(), output.end(), 0);
    uint64_t memory_limit = 64u << 20;
    ASSERT_EQ(lzma_stream_buffer_decode(&memory_limit, 0, NULL, xz.data(), &in_pos, xz_size,
                                        output.data(), &out_pos, output.size()), LZMA_OK);
    EXPECT_TRUE(output == input);
}

static void jbig_collect(unsigned char* start, size_t length, void* file)
{
    ((std::vector<uint8_t>*)file)->insert(((std::vector<uint8_t>*)file)->end(), start, start + length);
}

TEST(Deps, JbigRoundTrip)
{
    const unsigned long width = 70, height = 33;  // a width that is no whole byte
    std::vector<uint8_t> bitmap = ramp_bytes((width + 7) / 8 * height), stream;
    for (size_t i = 8; i < bitmap.size(); i += 9)
        bitmap[i] &= 0xC0;  // the bits past the width stay clear
    unsigned char* planes[1] = {bitmap.data()};
    jbg_enc_state encoder;
    jbg_enc_init(&encoder, width, height, 1, planes, jbig_collect, &stream);
    jbg_enc_out(&encoder);
    jbg_enc_free(&encoder);

    jbg_dec_state decoder;
    jbg_dec_init(&decoder);
    size_t used = 0;
    EXPECT_EQ(jbg_dec_in(&decoder, stream.data(), stream.size(), &used), JBG_EOK);
    ASSERT_EQ(jbg_dec_getsize(&decoder), bitmap.size());
    EXPECT_EQ(std::memcmp(jbg_dec_getimage(&decoder, 0), bitmap.data(), bitmap.size()), 0);
    jbg_dec_free(&decoder);
}

static std::string g_tiff_errors;

static void collect_tiff_error(const char* module, const char* format, va_list args)
{
    char message[512];
    vsnprintf(message, sizeof message, format, args);
    g_tiff_errors += std::string(module ? module : "") + ": " + message + "\n";
}

struct TiffCase {
    const char* name;
    uint16_t compression;
    uint16_t bits;  // per sample, packed MSB first with each row on a byte
    uint16_t samples;
    uint16_t photometric;
    int tolerance;  // largest sample error allowed (lossy codecs)
};

// Packs (pack) or unpacks samples of at most 12 bits as libtiff holds them.
static void tiff_rows(std::vector<uint16_t>& samples, std::vector<uint8_t>& packed,
                      uint32_t row_samples, uint32_t height, int bits, bool pack)
{
    size_t row_bytes = ((size_t)row_samples * bits + 7) / 8;
    packed.resize(row_bytes * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t i = 0, bit = 0; i < row_samples; ++i)
            for (int b = bits - 1; b >= 0; --b, ++bit) {
                uint8_t& byte = packed[y * row_bytes + bit / 8];
                uint16_t& sample = samples[(size_t)y * row_samples + i];
                if (pack && (sample >> b & 1))
                    byte |= (uint8_t)(0x80 >> (bit % 8));
                else if (!pack)
                    sample = (uint16_t)(sample & ~(1u << b)) | (uint16_t)((byte >> (7 - bit % 8) & 1) << b);
            }
}

class DepsTiff : public testing::TestWithParam<TiffCase> {
};

// Written and read back through a file, which check_outputs.sh then reads
// with Debian's libtiff and compares with the netpbm file written beside it.
TEST_P(DepsTiff, WritesAndReadsBack)
{
    const TiffCase& c = GetParam();
    const uint32_t width = 48, height = 32, top = (1u << c.bits) - 1;
    std::vector<uint16_t> samples((size_t)width * height * c.samples), decoded(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (uint16_t)(c.bits == 1 ? (i % width / 3 + i / width / 5) & 1
                                            : (i / c.samples % width) * top / width / (1 + i % c.samples));
    std::vector<uint8_t> packed, read;
    tiff_rows(samples, packed, width * c.samples, height, c.bits, true);
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
    read.resize(packed.size());
    EXPECT_EQ(TIFFReadEncodedStrip(tif, 0, read.data(), (tmsize_t)read.size()),
              (tmsize_t)read.size()) << g_tiff_errors;
    TIFFClose(tif);
    tiff_rows(decoded, read, width * c.samples, height, c.bits, false);
    int max_error = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        max_error = std::max(max_error, std::abs(samples[i] - decoded[i]));
    EXPECT_LE(max_error, c.tolerance);
    EXPECT_TRUE(g_tiff_errors.empty()) << g_tiff_errors;
    if (c.bits <= 8) {  // PBM's 1 is black like MINISWHITE's
        std::string head = c.bits == 1 ? "P4\n" : c.samples == 3 ? "P6\n" : "P5\n";
        head += std::to_string(width) + " " + std::to_string(height) + (c.bits == 1 ? "\n" : "\n255\n");
        EXPECT_TRUE(write_file_bytes(test_out_path(std::string("deps_") + c.name + ".pnm"),
                                     head + std::string(packed.begin(), packed.end())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DepsTiff,
    testing::Values(
        TiffCase{"packbits", COMPRESSION_PACKBITS, 8, 3, PHOTOMETRIC_RGB, 0},
        TiffCase{"lzw", COMPRESSION_LZW, 8, 1, PHOTOMETRIC_MINISBLACK, 0},
        TiffCase{"deflate", COMPRESSION_ADOBE_DEFLATE, 8, 3, PHOTOMETRIC_RGB, 0},
        TiffCase{"lzma", COMPRESSION_LZMA, 8, 1, PHOTOMETRIC_MINISBLACK, 0},
        TiffCase{"jbig", COMPRESSION_JBIG, 1, 1, PHOTOMETRIC_MINISWHITE, 0},
        TiffCase{"g4", COMPRESSION_CCITTFAX4, 1, 1, PHOTOMETRIC_MINISWHITE, 0},
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
    std::vector<uint8_t> pixels = ramp_bytes(PNG_IMAGE_SIZE(image)), png(PNG_IMAGE_SIZE(image) * 2 + 1024);
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
