// Timing of the GIF decoder and encoder for tests/bench/gif_bench.sh; it
// runs only when CORVANE_GIF_BENCH names a GIF file, and prints the times.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gif_test_util.h"
#include "image/gif_write.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

static double seconds_now()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

TEST(GifBench, DecodeAndEncodeLargeFile)
{
    const char* path = getenv("CORVANE_GIF_BENCH");
    if (!path || !*path)
        GTEST_SKIP() << "CORVANE_GIF_BENCH is not set";
    const char* out = getenv("CORVANE_GIF_BENCH_OUT");
    int runs = 3;
    SeamRecorder seams(32);
    double best_decode = 1e9, best_encode = 1e9;
    HGLOBAL frame = NULL;
    for (int run = 0; run < runs; ++run) {
        if (frame)
            GlobalFree(frame);
        OpenGif gif(path);
        ASSERT_TRUE(gif.ok());
        GifReadState s;
        double t0 = seconds_now();
        frame = read_frame(s, gif.file, nullptr, KIND_ANIMATED_GIF);
        double t1 = seconds_now();
        ASSERT_NE(nullptr, frame);
        if (t1 - t0 < best_decode)
            best_decode = t1 - t0;
    }
    std::string target = out && *out ? out : test_out_path("gif_bench_out.gif");
    for (int run = 0; run < runs; ++run) {
        double t0 = seconds_now();
        ASSERT_EQ(1, write_gif_file(target.c_str(), frame, 0));
        double t1 = seconds_now();
        if (t1 - t0 < best_encode)
            best_encode = t1 - t0;
    }
    GlobalFree(frame);
    printf("corvane decode %.4f s\ncorvane encode %.4f s\n", best_decode, best_encode);
}
