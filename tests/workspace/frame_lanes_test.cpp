// Whole frames on lanes of their own, and planes that read as zeros without being written.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

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

}  // namespace
}  // namespace talvenor
