// The cross-built libraries link and work in this build: a round trip
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

TEST(DepsCompression, ZlibAndLzmaRoundTrip)
{
    std::vector<uint8_t> input = ramp_bytes(100000);

    uLongf packed_size = compressBound((uLong)input.size());
    std::vector<uint8_t> packed(packed_size);
    ASSERT_EQ(compress2(packed.data(), &packed_size, input.data(), (uLong)input.size(), 9), Z_OK);
    EXPECT_LT(packed_size, input.size() / 4);
    std::vector<uint8_t> output(input.size());
    uLongf output_size = (uLongf)output.size();
    ASSERT_EQ(uncompress(output.data(), &output_size, packed.data(), packed_size), Z_OK);
    EXPECT_EQ(output_size, input.size());
    EXPECT_TRUE(output == input);

    std::vector<uint8_t> xz(lzma_stream_buffer_bound(input.size()));
    size_t xz_size = 0;
    ASSERT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC32, NULL, input.data(), input.size(),
                                      xz.data(), &xz_size, xz.size()), LZMA_OK);
    EXPECT_LT(xz_size, input.size() / 4);
    std::fill(output.begin(), output.end(), 0);
    uint64_t memory_limit = 64u << 20;
    size_t in_pos = 0, out_pos = 0;
    ASSERT_EQ(lzma_stream_buffer_decode(&memory_limit, 0, NULL, xz.data(), &in_pos, xz_size,
                                        output.data(), &out_pos, output.size()), LZMA_OK);
    EXPECT_EQ(out_pos, input.size());
    EXPECT_TRUE(output == input);
}

static void jbig_collect(unsigned char* start, size_t length, void* file)
{
    ((std::vector<uint8_t>*)file)->insert(((std::vector<uint8_t>*)file)->end(), start, start + length);
}

TEST(DepsJbig, RoundTrip)
{
    const unsigned long width = 70, height = 33; // a width that is no whole byte
    const size_t row_bytes = (width + 7) / 8;
    std::vector<uint8_t> bitmap(row_bytes * height);
    for (unsigned long y = 0; y < height; ++y)
        for (unsigned long x = 0; x < width; ++x)
            if ((x * x + y * 3) % 7 < 3)
                bitmap[y * row_bytes + x / 8] |= (uint8_t)(0x80 >> (x % 8));

    std::vector<uint8_t> stream;
    unsigned char* planes[1] = {bitmap.data()};
    jbg_enc_state encoder;
    jbg_enc_init(&encoder, width, height, 1, planes, jbig_collect, &stream);
    jbg_enc_out(&encoder);
    jbg_enc_free(&encoder);
    ASSERT_GT(stream.size(), 20u);

    jbg_dec_state decoder;
    jbg_dec_init(&decoder);
    size_t used = 0;
    int result = jbg_dec_in(&decoder, stream.data(), stream.size(), &used);
    EXPECT_EQ(result, JBG_EOK);
    ASSERT_EQ(jbg_dec_getwidth(&decoder), width);
    ASSERT_EQ(jbg_dec_getheight(&decoder), height);
    ASSERT_EQ(jbg_dec_getsize(&decoder), bitmap.size());
    EXPECT_EQ(std::memcmp(jbg_dec_getimage(&decoder, 0), bitmap.data(), bitmap.size()), 0);
    jbg_dec_free(&decoder);
}

// ------------------------------------------------------------------- libtiff

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
    uint16_t bits;       // per sample; 12-bit rows are packed, two samples in 3 bytes
    uint16_t samples;
    uint16_t photometric;
    int tolerance;       // largest sample error allowed (lossy codecs)
};

// Samples of the test image, at most (1 << bits) - 1.
static std::vector<uint16_t> tiff_samples(const TiffCase& c, uint32_t width, uint32_t height)
{
    std::vector<uint16_t> samples((size_t)width * height * c.samples);
    uint32_t top = (1u << c.bits) - 1;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t s = 0; s < c.samples; ++s) {
                uint32_t v = c.bits == 1 ? ((x / 3 + y / 5) & 1)
                           : (x * top / (width - 1) + s * y * top / (height - 1)) / (1 + s);
                samples[((size_t)y * width + x) * c.samples + s] = (uint16_t)v;
            }
    return samples;
}

// Packs samples as libtiff takes them: 16-bit ones in the machine's byte
// order, the others MSB first with each row starting on a byte.
static std::vector<uint8_t> pack_rows(const std::vector<uint16_t>& samples, uint32_t row_samples,
                                      uint32_t height, int bits)
{
    size_t row_bytes = ((size_t)row_samples * bits + 7) / 8;
    std::vector<uint8_t> packed(row_bytes * height);
    if (bits == 16) {
        std::memcpy(packed.data(), samples.data(), packed.size());
        return packed;
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint64_t bit = 0;
        for (uint32_t i = 0; i < row_samples; ++i)
            for (int b = bits - 1; b >= 0; --b, ++bit)
                if (samples[(size_t)y * row_samples + i] >> b & 1)
                    packed[y * row_bytes + bit / 8] |= (uint8_t)(0x80 >> (bit % 8));
    }
    return packed;
}

static std::vector<uint16_t> unpack_rows(const std::vector<uint8_t>& packed, uint32_t row_samples,
                                         uint32_t height, int bits)
{
    size_t row_bytes = ((size_t)row_samples * bits + 7) / 8;
    std::vector<uint16_t> samples((size_t)row_samples * height);
    if (bits == 16) {
        std::memcpy(samples.data(), packed.data(), packed.size());
        return samples;
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint64_t bit = 0;
        for (uint32_t i = 0; i < row_samples; ++i) {
            uint16_t v = 0;
            for (int b = 0; b < bits; ++b, ++bit)
                v = (uint16_t)(v << 1 | (packed[y * row_bytes + bit / 8] >> (7 - bit % 8) & 1));
            samples[(size_t)y * row_samples + i] = v;
        }
    }
    return samples;
}

// Writes the image as PBM/PGM/PPM for check_outputs.sh to compare the TIFF
// with; PBM's 1 is black like MINISWHITE's, and 16-bit samples are stored
// big-endian.
static bool write_netpbm(const std::string& path, const TiffCase& c, const std::vector<uint16_t>& samples,
                         const std::vector<uint8_t>& packed, uint32_t width, uint32_t height)
{
    std::string bytes;
    if (c.bits == 1) {
        bytes = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
        bytes.append(packed.begin(), packed.end());
        return write_file_bytes(path, bytes);
    }
    bytes = std::string(c.samples == 3 ? "P6\n" : "P5\n") + std::to_string(width) + " " +
            std::to_string(height) + "\n" + std::to_string((1 << c.bits) - 1) + "\n";
    for (uint16_t v : samples) {
        if (c.bits > 8)
            bytes += (char)(v >> 8);
        bytes += (char)(v & 0xFF);
    }
    return write_file_bytes(path, bytes);
}

class DepsTiff : public testing::TestWithParam<TiffCase> {
};

// One strip, as JBIG requires; written and read back through a file, which
// check_outputs.sh then reads with Debian's libtiff.
TEST_P(DepsTiff, WritesAndReadsBack)
{
    const TiffCase& c = GetParam();
    const uint32_t width = 48, height = 32;
    std::vector<uint16_t> samples = tiff_samples(c, width, height);
    std::vector<uint8_t> packed = pack_rows(samples, width * c.samples, height, c.bits);
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
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
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
    uint16_t compression = 0, bits = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    EXPECT_EQ(compression, c.compression);
    EXPECT_EQ(bits, c.bits);
    std::vector<uint8_t> read(packed.size());
    EXPECT_EQ(TIFFReadEncodedStrip(tif, 0, read.data(), (tmsize_t)read.size()),
              (tmsize_t)read.size()) << g_tiff_errors;
    if (c.compression == COMPRESSION_JPEG) {
        // The strip's frame header names the precision the JPEG library used.
        std::vector<uint8_t> raw((size_t)TIFFRawStripSize(tif, 0));
        ASSERT_EQ(TIFFReadRawStrip(tif, 0, raw.data(), (tmsize_t)raw.size()), (tmsize_t)raw.size());
        int precision = 0;
        for (size_t i = 0; i + 4 < raw.size() && !precision; ++i)
            if (raw[i] == 0xFF && raw[i + 1] >= 0xC0 && raw[i + 1] <= 0xC3)
                precision = raw[i + 4];
        EXPECT_EQ(precision, c.bits);
    }
    TIFFClose(tif);

    std::vector<uint16_t> decoded = unpack_rows(read, width * c.samples, height, c.bits);
    int max_error = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        max_error = std::max(max_error, std::abs(samples[i] - decoded[i]));
    EXPECT_LE(max_error, c.tolerance);
    EXPECT_TRUE(g_tiff_errors.empty()) << g_tiff_errors;
    EXPECT_TRUE(write_netpbm(test_out_path(std::string("deps_") + c.name + ".pnm"), c, samples,
                             packed, width, height));
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DepsTiff,
    testing::Values(
        TiffCase{"packbits", COMPRESSION_PACKBITS, 8, 3, PHOTOMETRIC_RGB, 0},
        TiffCase{"lzw", COMPRESSION_LZW, 16, 1, PHOTOMETRIC_MINISBLACK, 0},
        TiffCase{"deflate", COMPRESSION_ADOBE_DEFLATE, 8, 3, PHOTOMETRIC_RGB, 0},
        TiffCase{"lzma", COMPRESSION_LZMA, 8, 1, PHOTOMETRIC_MINISBLACK, 0},
        TiffCase{"jbig", COMPRESSION_JBIG, 1, 1, PHOTOMETRIC_MINISWHITE, 0},
        TiffCase{"g4", COMPRESSION_CCITTFAX4, 1, 1, PHOTOMETRIC_MINISWHITE, 0},
        TiffCase{"jpeg8", COMPRESSION_JPEG, 8, 3, PHOTOMETRIC_RGB, 4},
        TiffCase{"jpeg12", COMPRESSION_JPEG, 12, 1, PHOTOMETRIC_MINISBLACK, 40}),
    [](const testing::TestParamInfo<TiffCase>& info) { return std::string(info.param.name); });

// -------------------------------------------------------------------- libpng

TEST(DepsPng, RoundTripInMemory)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 37;
    image.height = 21;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels = ramp_bytes(PNG_IMAGE_SIZE(image));
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, NULL, &size, 0, pixels.data(), 0, NULL));
    std::vector<uint8_t> png(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, NULL))
        << image.message;
    png_image_free(&image);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

    png_image back;
    std::memset(&back, 0, sizeof back);
    back.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&back, png.data(), size)) << back.message;
    ASSERT_EQ(back.width, 37u);
    ASSERT_EQ(back.height, 21u);
    back.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> decoded(PNG_IMAGE_SIZE(back));
    ASSERT_TRUE(png_image_finish_read(&back, NULL, decoded.data(), 0, NULL)) << back.message;
    EXPECT_TRUE(decoded == pixels);
}

// ---------------------------------------------------------------------- lcms2

TEST(DepsLcms2, SrgbToLabMatchesReferenceValues)
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(NULL); // D50, as ICC Lab is
    ASSERT_TRUE(srgb && lab);
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                                 INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_TRUE(transform != NULL);
    const uint8_t rgb[3][3] = {{255, 255, 255}, {255, 0, 0}, {0, 0, 0}};
    cmsCIELab out[3];
    cmsDoTransform(transform, rgb, out, 3);
    EXPECT_NEAR(out[0].L, 100.0, 0.05);
    EXPECT_NEAR(out[0].a, 0.0, 0.05);
    EXPECT_NEAR(out[0].b, 0.0, 0.05);
    // sRGB red under D50 (Bradford): L 54.29, a 80.80, b 69.89.
    EXPECT_NEAR(out[1].L, 54.29, 0.5);
    EXPECT_NEAR(out[1].a, 80.80, 0.8);
    EXPECT_NEAR(out[1].b, 69.89, 0.8);
    EXPECT_NEAR(out[2].L, 0.0, 0.05);
    cmsDeleteTransform(transform);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
}

// ------------------------------------------------------------------- openjp2

struct OpjMemory {
    std::vector<uint8_t>* bytes;
    size_t position;
};

static OPJ_SIZE_T opj_memory_read(void* buffer, OPJ_SIZE_T count, void* user)
{
    OpjMemory* m = (OpjMemory*)user;
    if (m->position >= m->bytes->size())
        return (OPJ_SIZE_T)-1;
    size_t n = std::min((size_t)count, m->bytes->size() - m->position);
    std::memcpy(buffer, m->bytes->data() + m->position, n);
    m->position += n;
    return n;
}

static OPJ_SIZE_T opj_memory_write(void* buffer, OPJ_SIZE_T count, void* user)
{
    OpjMemory* m = (OpjMemory*)user;
    if (m->bytes->size() < m->position + count)
        m->bytes->resize(m->position + count);
    std::memcpy(m->bytes->data() + m->position, buffer, count);
    m->position += count;
    return count;
}

static OPJ_OFF_T opj_memory_skip(OPJ_OFF_T count, void* user)
{
    OpjMemory* m = (OpjMemory*)user;
    m->position += (size_t)count;
    return count;
}

static OPJ_BOOL opj_memory_seek(OPJ_OFF_T position, void* user)
{
    ((OpjMemory*)user)->position = (size_t)position;
    return OPJ_TRUE;
}

static opj_stream_t* opj_memory_stream(OpjMemory* memory, bool is_input)
{
    opj_stream_t* stream = opj_stream_create(4096, is_input ? OPJ_TRUE : OPJ_FALSE);
    opj_stream_set_user_data(stream, memory, NULL);
    opj_stream_set_user_data_length(stream, memory->bytes->size());
    opj_stream_set_read_function(stream, opj_memory_read);
    opj_stream_set_write_function(stream, opj_memory_write);
    opj_stream_set_skip_function(stream, opj_memory_skip);
    opj_stream_set_seek_function(stream, opj_memory_seek);
    return stream;
}

TEST(DepsOpenjpeg, LosslessRoundTripInMemory)
{
    EXPECT_EQ(std::string(opj_version()).substr(0, 2), "2.");
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
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0; // lossless: reversible 5/3 wavelet, every bit kept
    parameters.cp_disto_alloc = 1;
    parameters.numresolution = 3;
    std::vector<uint8_t> bytes;
    OpjMemory memory = {&bytes, 0};
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_memory_stream(&memory, false);
    bool encoded = opj_setup_encoder(codec, &parameters, image) &&
                   opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                   opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    ASSERT_TRUE(encoded);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(bytes[0], 0xFF); // SOC
    EXPECT_EQ(bytes[1], 0x4F);

    memory.position = 0;
    opj_dparameters_t dparameters;
    opj_set_default_decoder_parameters(&dparameters);
    codec = opj_create_decompress(OPJ_CODEC_J2K);
    stream = opj_memory_stream(&memory, true);
    opj_image_t* decoded = NULL;
    bool ok = opj_setup_decoder(codec, &dparameters) && opj_read_header(stream, codec, &decoded) &&
              opj_decode(codec, stream, decoded) && opj_end_decompress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    ASSERT_TRUE(ok);
    ASSERT_EQ(decoded->numcomps, 1u);
    ASSERT_EQ(decoded->comps[0].w, (OPJ_UINT32)width);
    ASSERT_EQ(decoded->comps[0].h, (OPJ_UINT32)height);
    EXPECT_EQ(std::memcmp(decoded->comps[0].data, samples.data(), sizeof(OPJ_INT32) * samples.size()), 0);
    opj_image_destroy(decoded);
    opj_image_destroy(image);
}
