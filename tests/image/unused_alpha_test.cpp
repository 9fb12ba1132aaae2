// A 32-bit image whose alpha is 0 everywhere does not use its alpha: the
// Targa, PCX, IFF and PAM writers write it opaque, as the PNG and TIFF
// writers do. Each file is read back here and, where a tool reads the
// format with alpha, by ImageMagick in the check scripts.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "format_test_util.h"
#include "image/iff_read.h"
#include "image/iff_write.h"
#include "image/pcx.h"
#include "image/pnm.h"
#include "image/targa.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

HGLOBAL read_by_handle(const std::string& path, HGLOBAL (*read)(HFILE, const std::string&))
{
    HFILE file = _lopen(path.c_str(), OF_READ);
    return file == HFILE_ERROR ? nullptr : read(file, path);
}

}  // namespace

TEST(UnusedAlpha, EveryWriterWritesItOpaque)
{
    SeamRecorder seams(32);
    DibBlock image(noise_image(32, 13, 5, 0, 7));
    DibBlock opaque(noise_image(32, 13, 5, 0, 7));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) {
            image.row(y)[4 * x + 3] = 0;
            opaque.row(y)[4 * x + 3] = 255;
        }
    struct Case {
        const char* file;
        const char* expected;
        std::function<int(const char*, HGLOBAL)> write;
        HGLOBAL (*read)(HFILE, const std::string&);
    };
    const Case cases[] = {
        {"tga_write_32_unused_alpha.tga", "tga_write_32_unused_alpha.pam",
         [](const char* path, HGLOBAL h) { return write_tga_file(path, h, 1); },
         [](HFILE f, const std::string&) { return read_tga_file(f, NULL, NULL); }},
        {"pcx_write_32_unused_alpha.pcx", "pcx_write_32_unused_alpha.pam", write_pcx_file,
         [](HFILE f, const std::string&) { return read_pcx_file(f, NULL, NULL); }},
        {"iff_write_32_unused_alpha.iff", "iff_write_32_unused_alpha.pam",
         [](const char* path, HGLOBAL h) { return write_ilbm_file(path, 1, 0, h); },
         [](HFILE f, const std::string&) { return read_iff_file(f, NULL); }},
        {"pnm_write_32_unused_alpha.pam", "pnm_write_32_unused_alpha.pam.ref", write_ppm_file,
         [](HFILE f, const std::string& path) {
             _lclose(f);
             return read_pnm_file(path.c_str(), NULL);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = test_out_path(c.file);
        ASSERT_EQ(1, c.write(path.c_str(), image.get()));
        write_expected_pam(opaque.get(), test_out_path(c.expected), true);
        DibBlock back(read_by_handle(path, c.read));
        expect_pixels(back.get(), read_pnm_file(test_out_path(c.expected)), 0, true);
    }
    EXPECT_TRUE(seams.boxes.empty());
}
