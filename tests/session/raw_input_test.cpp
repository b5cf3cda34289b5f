// Raw captures opened the ways a user opens them: a SER dropped on the window, the Bayer boxes
// of the Input page changed while a frame is in view, a project saved under a new name, and a
// FITS series of raw mosaics.
#include <gtest/gtest.h>

#include <fstream>

#include "capture/capture.h"
#include "input/input_colour.h"
#include "input/unreadable_frames.h"
#include "session/generated_capture.h"
#include "session/project_files.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

std::string WriteBayerSer(const fs::path& dir) {
    capture::CaptureOptions o;
    o.format = capture::CaptureFormat::SerBayer;
    o.colour = true;
    o.frames = 6;
    o.width = 96;
    o.height = 64;
    o.writeTruth = false;
    capture::WriteCapture(dir / "capture.ser", o);
    return (dir / "capture.ser").string();
}

void Choose(Session& s, const char* box, const char* text) {
    s.form.SetValue(std::string(box) + ".Text", text);
    s.Dispatch(box, Event::Change);
}

TEST(RawInput, ADroppedSerOpensAsAVideoAndTheBayerBoxesRereadTheFrameInView) {
    StartedSession t;
    Session& s = t.Start();
    const std::string ser = WriteBayerSer(t.appDir.path());
    t.WriteFile(t.appDir / "notes.txt", "not a capture");
    s.form.PageControl1.ActivePageIndex = kPageInput;
    s.Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = {(t.appDir / "notes.txt").string(), ser}});
    EXPECT_FALSE(s.ws.IsImageSeries);
    EXPECT_EQ(s.ws.AviFileName, "capture.ser");
    EXPECT_EQ(s.ws.LastFrame, 5);
    EXPECT_TRUE(s.form.ColourStack.Checked);  // the header's RGGB mosaic, demosaiced
    const Bitmap24 edge = s.form.PreviewImage.Image;
    EXPECT_FALSE(IsGreyPicture(edge, 0));

    Choose(s, "BayerCombo", "none");
    EXPECT_TRUE(IsGreyPicture(s.form.PreviewImage.Image, 0));
    EXPECT_FALSE(s.form.ColourStack.Checked);
    Choose(s, "BayerCombo", "auto");
    EXPECT_EQ(s.form.PreviewImage.Image, edge);
    EXPECT_TRUE(s.form.ColourStack.Checked);
    Choose(s, "DebayerCombo", "bilinear");
    EXPECT_NE(s.form.PreviewImage.Image, edge);
    EXPECT_FALSE(IsGreyPicture(s.form.PreviewImage.Image, 0));

    // The choices are the user's settings: the next start has them. A capture given on the
    // command line ("Open with" in a file manager) opens at once.
    Session& again = t.Start({ser});
    EXPECT_EQ(again.form.BayerCombo.Text(), "auto");
    EXPECT_EQ(again.form.DebayerCombo.Text(), "bilinear");
    EXPECT_EQ(again.ws.AviFileName, "capture.ser");
    EXPECT_EQ(again.ws.LastFrame, 5);
}

TEST(RawInput, SaveProjectAsRenamesASerCaptureKeepingItsExtension) {
    StartedSession t;
    Session& s = t.Start();
    testing::OpenAvi(t, WriteBayerSer(t.appDir.path()));
    ASSERT_EQ(s.ws.AviFileName, "capture.ser");
    const fs::path project = t.appDir / "night.rsp";
    t.host.SaveChoices.push_back(FileChoice{{project.string()}, 1});
    ASSERT_TRUE(SaveProjectAsClick(s));
    EXPECT_EQ(s.ws.AviFileName, "night.ser");
    EXPECT_TRUE(fs::exists(t.appDir / "night.ser"));
    EXPECT_FALSE(fs::exists(t.appDir / "night.avi"));
    EXPECT_TRUE(fs::exists(project));
}

// A 16-bit FITS frame of `height` rows whose picture is the RGGB mosaic of a red left half and
// a blue right half, stored bottom row first with the pattern counted from there.
void WriteMosaicFits(const fs::path& file, int width, int height, int offset) {
    auto card = [](std::string text) {
        text.resize(80, ' ');
        return text;
    };
    std::string h = card("SIMPLE  =                    T") + card("BITPIX  =                   16") +
                    card("NAXIS   =                    2") + card("NAXIS1  = " + std::string(20 - std::to_string(width).size(), ' ') + std::to_string(width)) +
                    card("NAXIS2  = " + std::string(20 - std::to_string(height).size(), ' ') + std::to_string(height)) +
                    card("BZERO   =                32768") + card("BAYERPAT= 'GBRG    '") + card("END");
    h.resize(2880, ' ');
    std::string data;
    for (int k = 0; k < height; ++k) {
        const int y = height - 1 - k;  // the picture row this stored row shows
        for (int x = 0; x < width; ++x) {
            const int channel = (y % 2) * 2 + (x % 2);  // R G / G B
            const bool red = channel == 0, blue = channel == 3;
            const bool leftHalf = x < width / 2;
            int v = 1000 + offset + x;  // green and the unlit filters
            if ((red && leftHalf) || (blue && !leftHalf)) v = 50000 + offset;
            const int stored = v - 32768;
            data += char((stored >> 8) & 0xFF);
            data += char(stored & 0xFF);
        }
    }
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    std::ofstream(file, std::ios::binary) << h << data;
}

TEST(RawInput, AFitsSeriesOfRawMosaicsOpensInColourWithItsFullSamples) {
    StartedSession t;
    Session& s = t.Start();
    const fs::path a = t.appDir / "a.fit", b = t.appDir / "b.fit";
    WriteMosaicFits(a, 32, 24, 0);
    WriteMosaicFits(b, 32, 24, 7);
    t.host.OpenChoices.push_back(FileChoice{{a.string(), b.string()}, 3});
    s.Dispatch("SelectFileButton", Event::Click);
    ASSERT_TRUE(s.ws.IsFits);
    EXPECT_TRUE(s.form.ColourStack.Checked);
    EXPECT_TRUE(s.ws.FrameIsWide);
    const Bitmap24& picture = s.ws.CurrentFrameImage;
    const Bgr left = picture.Pixel(6, 12), right = picture.Pixel(25, 12);
    EXPECT_GT(left.r, 3 * left.b) << int(left.r) << " " << int(left.b);
    EXPECT_GT(right.b, 3 * right.r) << int(right.b) << " " << int(right.r);
    // The stack's source keeps the bits below the picture's byte: the green ramp (one level in
    // 65536 per column) differs from column to column there.
    EXPECT_NE(s.ws.FrameWide.Sample(10, 12, 1), s.ws.FrameWide.Sample(12, 12, 1));
    // The demosaicing buffers kept from frame to frame carry nothing of one frame into the next.
    const auto samples = [&] {
        std::vector<int> all;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32; ++x)
                for (int k = 0; k < 3; ++k) all.push_back(s.ws.FrameWide.Sample(x, y, k));
        return std::pair(all, s.ws.CurrentFrameImage);
    };
    const auto first = samples();
    ASSERT_TRUE(LoadFrameOrSkip(s.ctx, 1));
    ASSERT_TRUE(LoadFrameOrSkip(s.ctx, 0));
    EXPECT_TRUE(samples() == first);

    // "none" keeps the frames grey, as FITS frames are otherwise.
    Choose(s, "BayerCombo", "none");
    EXPECT_FALSE(s.ws.FrameIsWide);
    EXPECT_TRUE(IsGreyPicture(s.ws.CurrentFrameImage, 0));
}

}  // namespace
}  // namespace talvenor
