// Whole frames on lanes of their own, and planes that read as zeros without being written.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/frame_lanes.h"
#include "workspace/single2d_array.h"
#include "workspace/zeroed_memory.h"

namespace talvenor {
namespace {

// Every job runs once on a free lane; a job that throws surfaces at the next Acquire or Finish,
// and the lanes go on working afterwards (a pass that failed leaves no lane stuck).
TEST(FrameLanes, RunEveryJobAndHandBackTheFirstError) {
    FrameLanes lanes;
    ASSERT_GE(FrameLanes::Count(), 2);
    std::vector<std::atomic<int>> runs(64);
    for (std::size_t j = 0; j < runs.size(); ++j) {
        const int lane = lanes.Acquire();
        ASSERT_TRUE(lane >= 0 && lane < FrameLanes::Count());
        lanes.Start(lane, [&runs, j] { ++runs[j]; });
    }
    lanes.Finish();
    for (const auto& r : runs) EXPECT_EQ(r.load(), 1);

    lanes.Start(lanes.Acquire(), [] { throw std::runtime_error("frame 7 could not be read"); });
    try {
        lanes.Finish();
        ADD_FAILURE() << "the job's error was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "frame 7 could not be read");
    }
    std::atomic<int> after{0};
    lanes.Start(lanes.Acquire(), [&after] { ++after; });
    lanes.Finish();
    EXPECT_EQ(after.load(), 1);
}

// Small (heap), mapped and large-page blocks (whole large pages or not) all start as zeros, and
// planes made again over old contents read as zeros too, margins included.
TEST(ZeroedMemory, BlocksAndPlanesStartAsZeros) {
    for (const std::size_t count : {std::size_t(10), (std::size_t(1) << 17) + 1, std::size_t(300000), std::size_t(1) << 19,
                                    (std::size_t(1) << 19) + 1, std::size_t(1920 * 1080 * 3 / 4), std::size_t(1) << 22}) {
        ZeroedArray<float> a(count);
        EXPECT_EQ(a[0], 0.0f);
        EXPECT_EQ(a[count - 1], 0.0f);
        a[count - 1] = 5;
        ZeroedArray<float> b(std::move(a));
        EXPECT_TRUE(a == nullptr);
        EXPECT_EQ(b[count - 1], 5.0f);
    }
    // A frame's bytes grow through every kind of block and keep what they held.
    LargeBytes bytes;
    for (const std::size_t size : {std::size_t(100), std::size_t(921600), std::size_t(3) << 20, std::size_t(6220800), std::size_t(200)}) {
        bytes.resize(size, 7);
        bytes.shrink_to_fit();
        EXPECT_EQ(bytes.front(), 7);
        EXPECT_EQ(bytes.back(), 7);
    }
    // What a block may take: a large one whole large pages, which bound the decoded batches.
    EXPECT_EQ(BlockFootprint(200), 200u);
    EXPECT_EQ(BlockFootprint(921600), std::size_t(2) << 20);
    EXPECT_EQ(BlockFootprint(6220800), std::size_t(6) << 20);
    Single2dArray plane(1000, 700);
    plane.Fill(3);
    plane.Create(1000, 700);
    EXPECT_EQ(plane.Get(0, 0), 0.0f);
    EXPECT_EQ(plane.Get(plane.Stride() - 1, plane.Rows() - 1), 0.0f);
}

// How many pages of [p, p + bytes) are in memory.
std::size_t ResidentPages(const void* p, std::size_t bytes) {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(p) / page * page;
    const std::size_t span = reinterpret_cast<std::uintptr_t>(p) + bytes - first;
    std::vector<unsigned char> in((span + page - 1) / page);
    if (mincore(reinterpret_cast<void*>(first), span, in.data()) != 0) return 0;
    std::size_t n = 0;
    for (const unsigned char c : in) n += c & 1;
    return n;
}

// A picture is black whenever it is sized, whatever was drawn or held before and whether its
// size changed; a large one fresh from the system is not written to be black (a display picture
// a run never draws on keeps pages never touched), and neither is one sized again while blank.
TEST(ZeroedMemory, PicturesSizedAreBlackWithoutTouchingFreshPages) {
    Bitmap24 picture(1000, 700);
    const Bitmap24& view = picture;
    const std::size_t bytes = 1000 * 700 * 3;
    EXPECT_EQ(ResidentPages(view.Data(), bytes), 0u);
    picture.SetSize(1000, 700);
    EXPECT_EQ(ResidentPages(view.Data(), bytes), 0u);
    const struct {
        const char* how;
        int width, height;
    } sizes[] = {{"same size", 1000, 700}, {"small", 20, 10}, {"large again", 800, 900}, {"same again", 800, 900}};
    for (const auto& s : sizes) {
        picture.Fill(ColourOf(0xFFFFFF));
        picture.SetSize(s.width, s.height);
        EXPECT_EQ(picture.Pixel(0, 0), Bgr{}) << s.how;
        EXPECT_EQ(picture.Pixel(s.width - 1, s.height - 1), Bgr{}) << s.how;
        // A picture held as grey bytes, sized as a colour picture, is black too.
        picture.SetGreySize(s.width, s.height);
        for (int y = 0; y < s.height; ++y) std::fill_n(picture.GreyRowToFill(y), s.width, uint8_t(200));
        picture.SetSize(s.width, s.height);
        EXPECT_FALSE(picture.HoldsGrey()) << s.how;
        EXPECT_EQ(picture.Pixel(s.width / 2, s.height / 2), Bgr{}) << s.how;
    }
    LargeFloats floats(300000, 4.0f);
    AssignZeros(floats, 300000);
    EXPECT_EQ(floats[299999], 0.0f);
    AssignZeros(floats, 10);
    EXPECT_EQ(floats.size(), 10u);
    EXPECT_EQ(floats[9], 0.0f);
}

}  // namespace
}  // namespace talvenor
