// The whole job end to end on generated captures with known truth: the stack must be closer
// to the truth than a plain average of the frames and than the best single frame.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "capture/capture.h"
#include "capture/series_writer.h"
#include "cli/cli_app.h"
#include "cli/compare_command.h"
#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

struct StackRun {
    int code;
    std::string out, err;
};

StackRun StackCli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::vector<std::string>> CsvRows(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, ',');) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

TEST(CliStack, BeatsThePlainAverageAndTheBestFrameOnEveryInputKind) {
    const struct {
        capture::CaptureFormat format;
        std::string input;  // file name of the capture, or the series' first file
        bool colour;
    } cases[] = {
        {capture::CaptureFormat::AviRgb, "capture.avi", true},
        {capture::CaptureFormat::AviGrey, "capture.avi", false},
        {capture::CaptureFormat::Bmp, "series", false},
        {capture::CaptureFormat::Fits, "series", false},
        {capture::CaptureFormat::Tiff, "series", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(capture::CaptureFormatName(c.format));
        testing::TempDir dir;
        capture::CaptureOptions o;
        o.format = c.format;
        o.frames = 40;
        o.width = 320;
        o.height = 240;
        o.seed = 31;
        o.colour = c.colour;
        const std::filesystem::path out = dir / c.input;
        capture::WriteCapture(out, o);
        capture::CaptureGenerator g(o);

        std::vector<std::string> args{"stack"};
        if (c.input == "series") {
            for (int k = 0; k < o.frames; ++k)
                args.push_back(capture::SeriesFramePath(out, k, o.frames,
                                                        c.format == capture::CaptureFormat::Bmp    ? capture::SeriesFormat::Bmp
                                                        : c.format == capture::CaptureFormat::Fits ? capture::SeriesFormat::Fits
                                                                                                   : capture::SeriesFormat::Tiff)
                                   .string());
        } else {
            args.push_back(out.string());
        }
        const std::string stack = (dir / "stack.bmp").string(), csv = (dir / "shifts.csv").string();
        for (const std::string& extra : std::vector<std::string>{"-o", stack, "--shifts-csv", csv, "--keep", "25%"})
            args.push_back(extra);
        if (c.colour) args.push_back("--colour");
        StackRun r = StackCli(args);
        ASSERT_EQ(r.code, 0) << r.err;

        // Shifts after the optimizer: within one pixel of the truth.
        const auto shifts = CsvRows(csv);
        ASSERT_EQ(int(shifts.size()), o.frames);
        int good = 0;
        std::vector<std::pair<int, double>> chosen;  // rank, sigma of the stacked frames
        for (int k = 0; k < o.frames; ++k) {
            const auto& t = g.plan()[std::size_t(k)];
            if (std::fabs(std::stoi(shifts[std::size_t(k)][1]) - t.dx) <= 1 && std::fabs(std::stoi(shifts[std::size_t(k)][2]) - t.dy) <= 1)
                ++good;
            const int rank = std::stoi(shifts[std::size_t(k)][5]);
            if (rank >= 0 && rank < o.frames / 4) chosen.emplace_back(rank, t.sigma);
        }
        EXPECT_GE(good, int(0.95 * o.frames)) << good;

        // The frames kept are mostly the sharp ones.
        std::vector<double> sigmas;
        for (const auto& t : g.plan()) sigmas.push_back(t.sigma);
        std::sort(sigmas.begin(), sigmas.end());
        const double median = sigmas[sigmas.size() / 2];
        int sharp = 0;
        for (const auto& [rank, sigma] : chosen) sharp += sigma < median;
        EXPECT_GE(sharp * 4, int(chosen.size()) * 3) << sharp << " of " << chosen.size() << " kept frames sharper than the median";

        // The stack against the truth, a plain average and the best single frame.
        Bitmap24 truth;
        {
            capture::FloatImage f;
            g.RenderTruth(f);
            capture::ToBitmap24(f, truth);
        }
        Bitmap24 average(o.width, o.height), best;
        std::vector<double> sum(std::size_t(o.width) * o.height * 3, 0.0);
        int sharpest = 0;
        for (int k = 0; k < o.frames; ++k) {
            const Bitmap24 frame = g.Frame8(k);
            for (int y = 0; y < o.height; ++y)
                for (int i = 0; i < 3 * o.width; ++i) sum[std::size_t(y) * 3 * o.width + std::size_t(i)] += frame.Row(y)[i];
            if (g.plan()[std::size_t(k)].sigma < g.plan()[std::size_t(sharpest)].sigma) sharpest = k;
        }
        for (int y = 0; y < o.height; ++y)
            for (int i = 0; i < 3 * o.width; ++i)
                average.Row(y)[i] = uint8_t(std::lrint(sum[std::size_t(y) * 3 * o.width + std::size_t(i)] / o.frames));
        best = g.Frame8(sharpest);
        const Bitmap24 stacked = ReadBmp(stack);
        const double psnrStack = MatchedPsnr(stacked, truth, 16), psnrAverage = MatchedPsnr(average, truth, 16),
                     psnrBest = MatchedPsnr(best, truth, 16);
        std::printf("[ figures ] %s: PSNR stack %.2f dB, plain average %.2f dB, best frame %.2f dB\n",
                    capture::CaptureFormatName(c.format).c_str(), psnrStack, psnrAverage, psnrBest);
        EXPECT_GT(psnrStack, psnrAverage);
        EXPECT_GT(psnrStack, psnrBest);
    }
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

TEST(CliStack, ResampledDrizzledExpandedAndCalibratedStacks) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.format = capture::CaptureFormat::AviGrey;
    o.frames = 12;
    o.width = 160;
    o.height = 120;
    o.seed = 3;
    const std::string avi = (dir / "c.avi").string();
    capture::WriteCapture(avi, o);
    Bitmap24 dark(160, 120);
    dark.Fill(Bgr{2, 2, 2});
    WriteBmp24(dir / "dark.bmp", dark);
    const struct {
        std::vector<std::string> options;
        int width, height;
    } cases[] = {
        {{"--resample", "1.5"}, 239, 179},
        {{"--drizzle"}, 319, 239},
        {{"--expand", "--box", "32"}, 0, 0},
        {{"--dark", (dir / "dark.bmp").string(), "--keep", "4"}, 160, 120},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"stack", avi, "-o", (dir / "out.tif").string(), "--json", "--force"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        StackRun r = StackCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        if (c.width > 0) EXPECT_NE(r.out.find("\"size\": [" + std::to_string(c.width) + ", " + std::to_string(c.height) + "]"), std::string::npos) << r.out;
        else EXPECT_NE(r.out.find("\"size\": ["), std::string::npos);
        EXPECT_TRUE(std::filesystem::exists(dir / "out.tif"));
    }
    EXPECT_NE(StackCli({"stack", avi, "-o", (dir / "x.gif").string()}).err.find("must end in"), std::string::npos);
    EXPECT_EQ(StackCli({"stack", avi}).code, 1);
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

TEST(CliStack, SubPixelStackingBeatsWholePixelsFromTheEstimateAlone) {
    // End to end: the alignment's own sub-pixel estimate, no truth handed over. A capture
    // with little seeing blur, where placing frames to a fraction of a pixel shows.
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.format = capture::CaptureFormat::AviGrey;
    o.frames = 40;
    o.width = 160;
    o.height = 120;
    o.seed = 11;
    o.blurMin = 0.4;
    o.blurMax = 0.8;
    o.noise = 1;
    const std::string avi = (dir / "c.avi").string();
    capture::WriteCapture(avi, o);
    capture::CaptureGenerator g(o);
    Bitmap24 truth;
    {
        capture::FloatImage f;
        g.RenderTruth(f);
        capture::ToBitmap24(f, truth);
    }
    auto psnr = [&](const std::vector<std::string>& extra) {
        const std::string out = (dir / "s.bmp").string();
        std::vector<std::string> args{"stack", avi, "-o", out, "--keep", "50%", "--set", "SubPixelEstimate.Checked=True", "--force"};
        args.insert(args.end(), extra.begin(), extra.end());
        const StackRun r = StackCli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return MatchedPsnr(ReadBmp(out), truth, 16);
    };
    const double whole = psnr({}), sub = psnr({"--subpixel"});
    std::printf("[ figures ] estimated shifts: PSNR whole-pixel %.2f dB, sub-pixel %.2f dB\n", whole, sub);
    EXPECT_GT(sub, whole);
}

}  // namespace
}  // namespace talvenor
