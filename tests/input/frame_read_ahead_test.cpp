#include "input/frame_read_ahead.h"

#include <gtest/gtest.h>

#include <vector>

#include "capture/avi_writer.h"
#include "capture/ser_writer.h"
#include "input/avi_file.h"
#include "input/avi_frames.h"
#include "support/temp_dir.h"
#include "workspace/error.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

// A small grey capture whose frames all differ, frame 3 dropped.
std::filesystem::path WriteCapture(const testing::TempDir& dir) {
    const auto path = dir.path() / "ahead.avi";
    capture::AviWriter writer(path, {.width = 48, .height = 32, .codec = capture::AviCodec::Grey8});
    for (int k = 0; k < 8; ++k) {
        if (k == 3) {
            writer.AddDroppedFrame();
            continue;
        }
        std::vector<uint8_t> grey(48 * 32);
        for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * (k + 1) + 17 * k);
        writer.AddGreyFrame(grey);
    }
    writer.Close();
    return path;
}

FrameReadAhead::Decode DecodeFrom(AviFile& file) {
    return [&file](int64_t position, Bitmap24& out) { file.DecodeFrame(position, out); };
}

// Frames decoded ahead are exactly the frames decoded on the spot, whether the frame taken
// is the next one asked ahead (the pass's order), a later one or another one (the table
// changed), a dropped one, or one taken with nothing asked ahead; with one frame ahead or
// several.
TEST(FrameReadAhead, FramesEqualTheOnesDecodedDirectlyWhateverWasAskedAhead) {
    testing::TempDir dir;
    const auto path = WriteCapture(dir);
    AviFile direct(path);
    struct Step {
        int take;
        std::vector<int> ask;  // asked for afterwards, as far as there is room
    };
    const std::vector<Step> steps = {{0, {1, 2, 3, 4}}, {1, {5, 6}}, {2, {}},     {4, {7}}, {5, {6, 7}},
                                     {7, {}},           {6, {0, 1}}, {0, {2, 4}}, {4, {}},  {2, {}}};
    for (const int depth : {1, 3, 8}) {
        AviFile file(path);
        FrameReadAhead ahead(DecodeFrom(file), depth);
        Bitmap24 got, want;
        for (const Step& s : steps) {
            SCOPED_TRACE(std::to_string(depth) + " " + std::to_string(s.take));
            ahead.Take(s.take, got);
            for (const int next : s.ask)
                if (ahead.Room() > 0) ahead.Start(next);
            EXPECT_LE(ahead.Room(), depth);
            direct.DecodeFrame(s.take, want);
            EXPECT_EQ(got, want);
        }
    }
    EXPECT_EQ(FrameReadAhead::DepthFor(640, 480), 4);
    EXPECT_EQ(FrameReadAhead::DepthFor(4096, 3000), 1);
}

// A frame that cannot be decoded fails when it is taken, not when it is asked ahead.
TEST(FrameReadAhead, AnErrorAheadSurfacesOnlyWhenThatFrameIsTaken) {
    testing::TempDir dir;
    const auto path = WriteCapture(dir);
    AviFile file(path);
    FrameReadAhead ahead(DecodeFrom(file));
    Bitmap24 got;
    ahead.Start(99);  // past the stream
    ahead.Take(1, got);
    ahead.Start(99);
    EXPECT_THROW(ahead.Take(99, got), Error);
    ahead.Take(2, got);
    EXPECT_EQ(got.Width(), 48);
}

// A run of reads from a SER ended while frames are still being read ahead: the read-ahead ends
// (waiting for the frame being read) before the SER it reads closes.
TEST(FrameReadAhead, ARunOfReadsEndsItsReadAheadBeforeTheCaptureCloses) {
    testing::TempDir dir;
    const auto path = dir.path() / "ahead.ser";
    const int width = 1280, height = 960, frames = 12;
    capture::SerWriter writer(path, {.width = width, .height = height});
    std::vector<uint16_t> samples(std::size_t(width) * height);
    for (int k = 0; k < frames; ++k) {
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t((i + 7 * k) % 256);
        writer.AddSamples(samples, k);
    }
    writer.Close();
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore settings;
    AppContext c{ws, form, host, settings};
    std::vector<int> order(frames);
    for (int k = 0; k < frames; ++k) order[std::size_t(k)] = k;
    for (int round = 0; round < 8; ++round) {
        AviFrameSource source(c, path);
        source.WillRead(order);
        source.Read(round % 4, {}, round % 4 + 1);  // the frames after it are now being read ahead
    }
    EXPECT_EQ(ws.CurrentFrameImage.Width(), width);
}

}  // namespace
}  // namespace talvenor
