// Both JPEG 2000 readers against opj_compress's files as opj_decompress
// decodes them, their texts and messages.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/jpeg2000.h"
#include "image/current_image.h"
#include "image/merge_source.h"
#include "support/seam_recorder.h"

namespace {

std::string j2k(const std::string& name)
{
    return fixture_path("jpeg2000/" + name);
}

// An empty packet is a byte whatever area it covers: a flat 6000 x 6000
// picture in nine tiles of a few dozen bytes opens through the merge
// loader's road, and the same stream cut after its first tile, which no
// longer holds what it claims, is refused within its bytes
// (tests/fixtures/make_ceiling.sh).
TEST(Jpeg2000Read, FlatTilesOpenAndMissingTilesAreRefused)
{
    {
        SeamRecorder seams;
        DibBlock image(load_image_file(fixture_path("ceiling/flat_tiles.j2k").c_str()));
        ASSERT_NE(image.get(), nullptr);
        EXPECT_EQ(image.bih->biWidth, 6000);
        EXPECT_EQ(image.bih->biHeight, 6000);
    }
    SeamRecorder seams;
    PeakMemoryWatch watch;
    ASSERT_TRUE(watch.works());
    EXPECT_EQ(DibBlock(load_image_file(fixture_path("hostile/J2K-tiles-missing-claims-huge.j2k").c_str())).get(),
              nullptr);
    EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
}

}  // namespace
