// The optimizer on series whose true whole-pixel shifts are known: frames are one picture
// moved by known offsets, written as BMP files, with the starting shifts a pixel or two off.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "imagefiles/bmp_file.h"
#include "input/avi_frames.h"
#include "stacking/optimizer.h"
#include "support/temp_dir.h"
#include "workspace/canvas.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

struct Offset {
    int x = 0, y = 0;
};

uint32_t Hash(int u, int v, uint32_t seed) {
    uint32_t h = uint32_t(u) * 73856093u ^ uint32_t(v) * 19349663u ^ seed * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

// Random colour texture: every offset but the true one leaves a large difference.
Bgr Texture(int u, int v) {
    const uint32_t h = Hash(u, v, 7);
    return Bgr{uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16)};
}

// Rows of one random grey each: every horizontal offset matches equally well.
Bgr Stripes(int, int v) {
    const uint8_t g = uint8_t(Hash(0, v, 3));
    return Bgr{g, g, g};
}

using Scene = std::function<Bgr(int u, int v)>;

// The scene moved right by d.x and down by d.y.
Bitmap24 Render(const Scene& scene, int w, int h, Offset d) {
    Bitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, scene(x - d.x, y - d.y));
    return b;
}

// Adds +-noise to every channel (frame-dependent), clamped to the byte range.
Bitmap24 WithNoise(Bitmap24 b, int frame, int noise) {
    for (int y = 0; y < b.Height(); ++y) {
        uint8_t* p = b.Row(y);
        for (int i = 0; i < b.Width() * 3; ++i) {
            const int n = int(Hash(i, y, 100 + uint32_t(frame)) % uint32_t(2 * noise + 1)) - noise;
            p[i] = uint8_t(std::clamp(int(p[i]) + n, 0, 255));
        }
    }
    return b;
}

struct Fixture {
    testing::TempDir dir;
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore store;
    AppContext c{ws, form, host, store};
    AlignmentState a;
    OptimizerState o;
    std::vector<Offset> truth;

    // Frame k is `picture(k)` written as a BMP; frame 0 is the reference. The ranking is the
    // frame order with falling quality; the starting shifts are the truth until Start.
    Fixture(int frames, int w, int h, int n, const std::function<Bitmap24(int)>& picture) {
        for (int k = 0; k < frames; ++k) {
            const auto path = dir / ("frame" + std::to_string(k) + ".bmp");
            const Bitmap24 b = picture(k);
            WriteBmp24(path, b);
            ws.FileNames[std::size_t(k)] = path.string();
            if (k == 0) a.ReferenceImage = b;
        }
        ws.IsImageSeries = true;
        ws.InputType = kInputBmp;
        ws.LastFrame = frames - 1;
        ws.SelectedCount = frames;
        ws.ImageWidth = ws.SourceWidth = ws.UnclampedWidth = w;
        ws.ImageHeight = ws.SourceHeight = ws.UnclampedHeight = h;
        ws.AlignBoxSize = n;
        ws.AlignX = w / 2;
        ws.AlignY = h / 2;
        for (int k = 0; k < frames; ++k) ws.Ranking[std::size_t(k)] = RankEntry{k, 1.0f - 0.01f * float(k), 0};
        form.AlignSlider.MaxValue = frames - 1;
        form.SearchArea.Value = 2;
    }
    FrameRecord& Frame(int k) { return ws.Frames[std::size_t(k)]; }
    void Start(int k, Offset s, float difference = 1e9f) {
        Frame(k).ShiftX = Frame(k).ShiftXa = s.x;
        Frame(k).ShiftY = Frame(k).ShiftYa = s.y;
        Frame(k).Difference = Frame(k).DifferenceA = difference;
    }
    double Run() { return OptimizeButtonClick(c, a, o); }
};

// A series of the texture moved by `truth`, started `off` away from it.
struct TextureSeries : Fixture {
    TextureSeries(std::vector<Offset> t, const std::vector<Offset>& off, int w = 96, int h = 80, int n = 32)
        : Fixture(int(t.size()), w, h, n, [&t, w, h](int k) { return Render(Texture, w, h, t[std::size_t(k)]); }) {
        truth = std::move(t);
        for (std::size_t k = 0; k < truth.size(); ++k)
            Start(int(k), {truth[k].x + off[k].x, truth[k].y + off[k].y});
    }
};

const std::vector<Offset> kTruth = {{0, 0}, {3, -2}, {-4, 1}, {1, 4}, {-2, -3}, {5, 0}};
const std::vector<Offset> kOff = {{1, 0}, {-2, 1}, {0, -1}, {2, 2}, {-1, -2}, {2, -2}};

TEST(Optimizer, MovesEveryShiftToTheTrueOffset) {
    struct Mode {
        const char* name;
        bool noSquare, relative, bias;
    };
    for (const Mode& m : {Mode{"squares", false, false, false}, Mode{"NoSquare", true, false, false},
                          Mode{"relative", false, true, false}, Mode{"bias subtract", false, false, true}}) {
        SCOPED_TRACE(m.name);
        TextureSeries t(kTruth, kOff);
        t.form.NoSquare.Checked = m.noSquare;
        t.form.Relative.Checked = m.relative;
        t.form.BlurBox.Checked = m.bias;
        t.ws.ProgStatus = 2;
        t.Run();
        for (std::size_t k = 0; k < kTruth.size(); ++k) {
            EXPECT_EQ(t.Frame(int(k)).ShiftX, kTruth[k].x) << k;
            EXPECT_EQ(t.Frame(int(k)).ShiftY, kTruth[k].y) << k;
        }
        // The means come from the boxes at the base shift, so the difference reaches 0 once
        // the base shift is the true one: on the second run.
        const double total = t.Run();
        for (std::size_t k = 0; k < kTruth.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(t.Frame(int(k)).ShiftX, kTruth[k].x);
            EXPECT_EQ(t.Frame(int(k)).ShiftY, kTruth[k].y);
            EXPECT_EQ(t.Frame(int(k)).Difference, 0.0f);
            EXPECT_EQ(t.Frame(int(k)).OptimizeScore, 100.0f);
        }
        EXPECT_EQ(total, 0.0);
        EXPECT_EQ(t.o.OptimizeTotal, 0.0);
        ASSERT_EQ(t.form.Memo2.Lines.size(), 4u);
        EXPECT_EQ(t.form.Memo2.Lines[0].rfind("optimizer ", 0), 0u);
        EXPECT_EQ(t.form.Memo2.Lines[1].rfind("Dif:", 0), 0u);
        EXPECT_EQ(t.form.Memo2.Lines[2].rfind("optimizer ", 0), 0u);
        EXPECT_EQ(t.form.Memo2.Lines[3], "Dif:0");

        // What the run leaves behind.
        EXPECT_EQ(t.a.AlignBoxX, kTruth[5].x);  // the last frame's base shift
        EXPECT_EQ(t.a.AlignBoxY, kTruth[5].y);
        EXPECT_EQ(t.ws.AlignX, 48);
        EXPECT_EQ(t.ws.AlignY, 40);
        EXPECT_EQ(t.ws.ImageWidth, 96);
        EXPECT_EQ(t.ws.ProgStatus, 3);
        EXPECT_FALSE(t.o.AlignViewFollows);
        EXPECT_FALSE(t.form.AlignSlider.Visible);
        EXPECT_EQ(t.form.AlignSlider.Value, 5);
        EXPECT_FALSE(t.form.MessageWindow.Visible);
        EXPECT_EQ(t.host.Cursor, CursorKind::Default);
        EXPECT_EQ(t.host.Caption, "Talvenor processing BMP: " + t.ws.FileNames[5]);

        // The comparison in the corner of the frame in hand: the reference box left, the matched
        // frame box right; at the true offset they are the same pixels. The picture holds the
        // whole comparison however small the frame.
        const Bitmap24& view = t.form.AlignImage.Image;
        ASSERT_GE(view.Width(), std::max(96, 2 * 32 + 20));
        ASSERT_EQ(view.Height(), std::max(80, 32 + 70));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                ASSERT_EQ(view.Pixel(x, y), t.a.ReferenceImage.Pixel(48 - 16 + x, 40 - 16 + y)) << x << "," << y;
                ASSERT_EQ(view.Pixel(42 + x, y), view.Pixel(x, y)) << x << "," << y;
            }
    }
}

TEST(Optimizer, MovesNoFurtherThanTheSearchArea) {
    struct Case {
        int radius;
        Offset off;
        bool reachesTruth;
    };
    for (const Case& k : {Case{1, {1, -1}, true}, Case{2, {3, 0}, false}, Case{2, {0, -3}, false},
                          Case{3, {3, -3}, true}, Case{2, {-2, 2}, true}}) {
        SCOPED_TRACE(k.radius * 100 + k.off.x * 10 + k.off.y);
        TextureSeries t({{0, 0}, {2, -1}}, {{0, 0}, k.off});
        t.form.SearchArea.Value = k.radius;
        t.Run();
        const FrameRecord& r = t.Frame(1);
        EXPECT_LE(std::abs(r.ShiftX - (2 + k.off.x)), k.radius);
        EXPECT_LE(std::abs(r.ShiftY - (-1 + k.off.y)), k.radius);
        EXPECT_EQ(r.ShiftX == 2 && r.ShiftY == -1, k.reachesTruth);
    }
}

// The difference from a hand-worked box: an 8-pixel box, search radius 1, and a frame equal
// to the reference except one pixel 10 levels brighter in the middle of the box.
TEST(Optimizer, DifferenceIsTheMeanFreeSumOverTheComparedWindow) {
    for (bool noSquare : {false, true}) {
        SCOPED_TRACE(noSquare);
        Fixture t(2, 24, 24, 8, [](int k) {
            Bitmap24 b = Render(Texture, 24, 24, {0, 0});
            Bgr p = b.Pixel(12, 12);
            p.g = uint8_t(k == 0 ? 100 : 110);
            b.SetPixel(12, 12, p);
            return b;
        });
        t.ws.LumaWeight = {0, 1, 0};  // luminance = green, exactly
        t.form.SearchArea.Value = 1;
        t.form.NoSquare.Checked = noSquare;
        t.Start(1, {0, 0});
        t.Run();
        // The boxes are sampled over (8 + 2 + 1)^2 = 121 pixels, so the frame's mean is 10/121
        // higher; the whole 8 x 8 box is compared, the bright pixel and 63 others.
        const double m = 10.0 / 121, peak = 10 - m;
        const double expected = noSquare ? peak + 63 * m : peak * peak + 63 * m * m;
        EXPECT_NEAR(t.Frame(1).Difference, expected, expected * 1e-5);
        EXPECT_EQ(t.Frame(1).ShiftX, 0);
        EXPECT_EQ(t.Frame(1).ShiftY, 0);
    }
}

// Frame 0 is the texture itself; the others are moved by `truth` and carry noise, so their
// best difference is well above 0.
struct NoisySeries : Fixture {
    NoisySeries(std::vector<Offset> t, std::vector<bool> noisy)
        : Fixture(int(t.size()), 96, 80, 32, [&t, &noisy](int k) {
              const Bitmap24 b = Render(Texture, 96, 80, t[std::size_t(k)]);
              return noisy[std::size_t(k)] ? WithNoise(b, k, 6) : b;
          }) {
        truth = std::move(t);
        for (std::size_t k = 0; k < truth.size(); ++k) Start(int(k), truth[k]);
    }
};

TEST(Optimizer, ScoresTheImprovementOverThePreviousBest) {
    NoisySeries t({{0, 0}, {2, 1}, {-1, 3}}, {false, true, false});
    t.Frame(1).Difference = 1.0f;   // never measured: any offset may replace it
    t.Frame(2).Difference = 99.0f;  // an exact match improves it by all of it
    t.Start(1, {2, 1}, 1.0f);
    t.Run();
    const float s = t.Frame(1).Difference;
    EXPECT_GT(s, 1.0f);  // so only the "unmeasured" rule let the search take it
    EXPECT_EQ(t.Frame(1).ShiftX, 2);
    EXPECT_EQ(t.Frame(1).ShiftY, 1);
    EXPECT_GT(t.Frame(1).OptimizeScore, 99.0f);  // far below the offsets tried before it
    EXPECT_EQ(t.Frame(2).Difference, 0.0f);
    EXPECT_EQ(t.Frame(2).OptimizeScore, 100.0f);
    EXPECT_EQ(std::stof(t.form.Memo2.Lines.back().substr(4)), s);

    // A second run finds the same best score again: the improvement is B / (B + 1) short
    // of 100, next to nothing.
    t.form.FastOptimize.Checked = false;
    t.Run();
    EXPECT_EQ(t.Frame(1).Difference, s);
    EXPECT_EQ(t.Frame(1).OptimizeScore, float(100.0 - double(s) / (double(s) + 1) * 100));
    EXPECT_LT(t.Frame(1).OptimizeScore, 1.0f);
    EXPECT_EQ(t.Frame(1).ShiftX, 2);
    EXPECT_EQ(t.Frame(2).OptimizeScore, 100.0f);  // 0 stays 0: 100 - 0 / (0 + 1) * 100
}

// Rows of one grey each match at every horizontal offset. The base shift is a row off, so
// the box means differ and every term carries that difference: the offsets tie only if each
// of them compares the same number of pixels. Which of the equal offsets wins depends on
// de-interlacing.
TEST(Optimizer, TiesKeepTheLaterOffsetUnlessDeinterlacing) {
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        Fixture t(2, 96, 80, 32, [](int k) { return Render(Stripes, 96, 80, {0, k == 1 ? 2 : 0}); });
        t.Start(1, {0, 1});
        t.form.Interlaced.Checked = interlaced;
        t.form.InterlaceHoriz.Checked = true;  // columns interpolated: the rows stay as they are
        t.Run();
        const FrameRecord& r = t.Frame(1);
        const int winner = interlaced ? -2 : 2;
        EXPECT_EQ(r.ShiftX, winner);
        EXPECT_EQ(r.ShiftY, 2);
        if (interlaced) {
            EXPECT_EQ(r.ShiftXa, winner);
            EXPECT_EQ(r.ShiftYa, 2);
            EXPECT_EQ(r.DifferenceA, r.Difference);
            EXPECT_EQ(t.ws.FieldIndex, 1);
        }
    }
}

TEST(Optimizer, FastOptimizeSkipsFramesTheLastRunBarelyImproved) {
    NoisySeries t({{0, 0}, {1, -2}, {-3, 1}, {2, 2}}, {false, true, true, true});
    t.Run();
    t.Run();
    for (int k = 1; k <= 3; ++k) EXPECT_LT(t.Frame(k).OptimizeScore, 1.0f) << k;
    t.Start(2, {-2, 1});
    t.Run();
    EXPECT_EQ(t.Frame(2).ShiftX, -2);  // skipped
    EXPECT_EQ(t.form.Memo2.Lines.back(), "Dif:0");  // only the exact frame 0 was handled
    t.form.FastOptimize.Checked = false;
    t.Run();
    EXPECT_EQ(t.Frame(2).ShiftX, -3);
}

TEST(Optimizer, SkipsPoorFramesAndTotalsTheGoodRanks) {
    TextureSeries t({{0, 0}, {1, 1}, {-1, 2}, {2, -1}, {-2, -2}}, std::vector<Offset>(5, Offset{1, -1}));
    const int frameAt[5] = {0, 3, 1, 4, 2};
    const float quality[5] = {1.0f, 0.9f, 0.8f, 0.79f, 0.3f};
    for (int k = 0; k < 5; ++k) t.ws.Ranking[std::size_t(k)] = RankEntry{frameAt[k], quality[k], 0};
    t.form.OptimizeQualitySpin.Value = 80;
    t.Frame(3).Excluded = 1;
    t.Frame(3).Difference = 777;
    const double total = t.Run();
    struct Expect {
        int frame;
        bool optimised;
    };
    for (const Expect& e : {Expect{0, true}, Expect{3, false}, Expect{1, true}, Expect{4, false}, Expect{2, false}}) {
        SCOPED_TRACE(e.frame);
        const Offset want = t.truth[std::size_t(e.frame)];
        const Offset start{want.x + 1, want.y - 1};
        EXPECT_EQ(t.Frame(e.frame).ShiftX, e.optimised ? want.x : start.x);
        EXPECT_EQ(t.Frame(e.frame).ShiftY, e.optimised ? want.y : start.y);
    }
    EXPECT_EQ(t.Frame(4).Difference, 1e9f);
    // Ranks 0 .. 2 are within 80 % of the best, the excluded frame among them.
    const double sum = double(t.Frame(0).Difference) + 777.0 + double(t.Frame(1).Difference);
    EXPECT_LT(sum, 1e6);
    EXPECT_DOUBLE_EQ(total, 0.001 * sum);
    EXPECT_DOUBLE_EQ(t.o.OptimizeTotal, 0.001 * sum);
}

TEST(Optimizer, CancelEndsTheRunAfterTheCurrentFrame) {
    TextureSeries t(kTruth, kOff);
    int pumps = 0;
    t.host.OnPump = [&] {
        if (++pumps == 2) t.ws.CancelRequested = true;
    };
    t.o.OptimizeTotal = 42;
    EXPECT_EQ(t.Run(), 42);
    EXPECT_EQ(t.o.OptimizeTotal, 42);
    for (int k = 0; k < 6; ++k) {
        const Offset start{kTruth[std::size_t(k)].x + kOff[std::size_t(k)].x, kTruth[std::size_t(k)].y + kOff[std::size_t(k)].y};
        const Offset want = k < 2 ? kTruth[std::size_t(k)] : start;
        EXPECT_EQ(t.Frame(k).ShiftX, want.x) << k;
        EXPECT_EQ(t.Frame(k).ShiftY, want.y) << k;
    }
    EXPECT_EQ(t.form.Memo2.Lines.back().rfind("Dif:", 0), 0u);
    EXPECT_FALSE(t.form.MessageWindow.Visible);
    EXPECT_EQ(t.host.Cursor, CursorKind::Default);
}

// A sensor pattern that stays put while the scene moves: only once the dark frame takes it
// out, each at its own pixel, does the scene decide the offset.
TEST(Optimizer, SubtractsTheDarkFrameAtEachPixelsOwnPosition) {
    const int w = 96, h = 80;
    auto pattern = [](int x, int y) { return int(Hash(x, y, 11) % 2) * 80; };  // hot and cold pixels
    auto faint = [](int u, int v) {
        const uint8_t g = uint8_t(40 + Hash(u, v, 9) % 40);
        return Bgr{g, g, g};
    };
    const std::vector<Offset> truth = {{0, 0}, {2, -1}, {-3, 2}, {1, 3}};
    for (bool useDark : {true, false}) {
        SCOPED_TRACE(useDark);
        Fixture t(4, w, h, 32, [&](int k) {
            Bitmap24 b = Render(faint, w, h, truth[std::size_t(k)]);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t g = uint8_t(b.Pixel(x, y).g + pattern(x, y));
                    b.SetPixel(x, y, Bgr{g, g, g});
                }
            return b;
        });
        t.ws.DarkPlanes[1].Create(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) t.ws.DarkPlanes[1].Put(x, y, 128.0f * float(pattern(x, y)));
        t.form.UseDarkFrame.Checked = useDark;
        for (int k = 0; k < 4; ++k) t.Start(k, {truth[std::size_t(k)].x + 1, truth[std::size_t(k)].y + 1});
        t.Run();
        int found = 0;
        for (int k = 0; k < 4; ++k)
            found += t.Frame(k).ShiftX == truth[std::size_t(k)].x && t.Frame(k).ShiftY == truth[std::size_t(k)].y;
        if (!useDark) {
            EXPECT_LT(found, 4);
            continue;
        }
        EXPECT_EQ(found, 4);
        // From the true base shift the pattern is gone from both boxes entirely.
        t.Run();
        for (int k = 0; k < 4; ++k) EXPECT_LT(t.Frame(k).Difference, 1.0f) << k;
    }
}

TEST(Optimizer, AlignSliderShowsTheFrameOfTheRank) {
    struct Case {
        bool jpeg, fits, tiff;
        const char* prefix;
    };
    for (const Case& k : {Case{false, false, false, "Talvenor processing BMP: "},
                          Case{true, false, false, "Talvenor processing JPG: "},
                          Case{false, true, false, "Talvenor processing FIT: "},
                          Case{false, false, true, "Talvenor processing BMP: "}}) {
        SCOPED_TRACE(k.prefix);
        TextureSeries t(kTruth, std::vector<Offset>(6));
        // The flags name the type in the caption; the frames stay BMP files.
        t.ws.IsJpeg = k.jpeg;
        t.ws.IsFits = k.fits;
        t.ws.IsTiff = k.tiff;
        for (int r = 0; r < 6; ++r) t.ws.Ranking[std::size_t(r)].FrameIndex = 5 - r;
        t.form.AlignSlider.Value = 1;
        AlignSliderChange(t.c, t.a, t.o);
        EXPECT_EQ(t.ws.CurrentFrameImage, Render(Texture, 96, 80, kTruth[4]));
        EXPECT_EQ(t.host.Caption, k.prefix + t.ws.FileNames[4]);
        EXPECT_EQ(t.form.AlignImage.Image, t.ws.CurrentFrameImage);
        // The marker: round(300 * 1 / 5) = 60.
        Canvas graph(t.form.imgGraph.Image);
        EXPECT_EQ(graph.Pixel(60, 125), 0x008000u);

        // While the optimizer's picture is up, the frame is not copied over it.
        t.o.AlignViewFollows = false;
        t.form.AlignSlider.Value = 2;
        AlignSliderChange(t.c, t.a, t.o);
        EXPECT_EQ(t.ws.CurrentFrameImage, Render(Texture, 96, 80, kTruth[3]));
        EXPECT_EQ(t.form.AlignImage.Image, Render(Texture, 96, 80, kTruth[4]));
    }
}

// An AVI capture with sub-pixel motion: every frame ends within a pixel of its true shift,
// for either field of de-interlaced input.
TEST(Optimizer, RefinesAviFramesForEitherField) {
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        Fixture t(0, 160, 120, 32, nullptr);
        capture::CaptureOptions opt;
        opt.mode = capture::SceneMode::Moon;
        opt.format = capture::CaptureFormat::AviRgb;
        opt.frames = 6;
        opt.width = 160;
        opt.height = 120;
        opt.seed = 3;
        opt.driftX = opt.driftY = 0;
        opt.jitter = 3;
        opt.blurMin = opt.blurMax = 1.0;
        opt.noise = 0;
        opt.writeTruth = false;
        capture::WriteCapture(t.dir / "moon.avi", opt);
        capture::CaptureGenerator g(opt);
        t.ws.IsImageSeries = false;
        t.ws.AviFileName = "moon.avi";
        t.form.DirectoryListBox1.Directory = t.dir.path().string();
        ReadAviFrames(t.c, AviPath(t.c), 0);
        t.a.ReferenceImage = t.ws.CurrentFrameImage;
        t.ws.LastFrame = 5;
        t.ws.SelectedCount = 6;
        t.form.AlignSlider.MaxValue = 5;
        for (int k = 0; k < 6; ++k) t.ws.Ranking[std::size_t(k)] = RankEntry{k, 1.0f - 0.01f * float(k), 0};
        std::vector<std::pair<double, double>> want;
        for (int k = 0; k < 6; ++k) {
            const auto& p = g.plan();
            want.emplace_back(p[std::size_t(k)].dx - p[0].dx, p[std::size_t(k)].dy - p[0].dy);
            t.Start(k, {int(std::lrint(want.back().first)) + 1, int(std::lrint(want.back().second)) - 1});
        }
        t.form.Interlaced.Checked = interlaced;
        t.Run();
        EXPECT_EQ(t.form.Interlaced.Checked, interlaced);
        for (int k = 0; k < 6; ++k) {
            SCOPED_TRACE(k);
            const FrameRecord& r = t.Frame(k);
            EXPECT_LT(std::abs(r.ShiftX - want[std::size_t(k)].first), 1.0);
            EXPECT_LT(std::abs(r.ShiftY - want[std::size_t(k)].second), 1.0);
            if (interlaced) {
                EXPECT_LT(std::abs(r.ShiftXa - want[std::size_t(k)].first), 1.0);
                EXPECT_LT(std::abs(r.ShiftYa - want[std::size_t(k)].second), 1.0);
            }
        }

        // Cancel pressed while the reader fetches a frame: that frame was never read, so its
        // record stays exactly as it was, even an unmeasured difference.
        t.Start(0, {1, 1}, 1.0f);
        t.ws.CurrentFrameImage = Bitmap24(160, 120);
        t.host.OnPump = [&t] { t.ws.CancelRequested = true; };
        t.o.OptimizeTotal = 5;
        EXPECT_EQ(t.Run(), 5);
        EXPECT_EQ(t.Frame(0).ShiftX, 1);
        EXPECT_EQ(t.Frame(0).ShiftY, 1);
        EXPECT_EQ(t.Frame(0).Difference, 1.0f);
    }
}

// Resampled boxes: shifts are in resampled pixels, twice the frame's at factor 2. Starting
// two resampled pixels off, every frame reaches its true shift.
TEST(Optimizer, RefinesResampledShifts) {
    auto smooth = [](int u, int v) {
        const double g = 128 + 60 * std::sin(u * 0.31 + std::cos(v * 0.17) * 2) + 50 * std::cos(v * 0.23 + u * 0.05);
        const uint8_t b = uint8_t(std::clamp(int(g), 0, 255));
        return Bgr{b, b, b};
    };
    const std::vector<Offset> truth = {{0, 0}, {2, -1}, {-3, 2}, {1, 3}};
    Fixture t(4, 96, 80, 32, [&](int k) { return Render(smooth, 96, 80, truth[std::size_t(k)]); });
    t.form.Resampled.Checked = true;
    t.ws.ResampleFactor = 2;
    for (int k = 0; k < 4; ++k)
        t.Start(k, {2 * truth[std::size_t(k)].x + (k % 2 ? 2 : -2), 2 * truth[std::size_t(k)].y + (k / 2 ? 2 : -2)}, 1.0f);
    t.Run();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(t.Frame(k).ShiftX, 2 * truth[std::size_t(k)].x) << k;
        EXPECT_EQ(t.Frame(k).ShiftY, 2 * truth[std::size_t(k)].y) << k;
        EXPECT_LT(t.Frame(k).Difference, 1e6f) << k;
    }
    EXPECT_EQ(t.form.Image2.Image.Width(), 191);  // round(96 x 2) - 1
    EXPECT_EQ(t.form.Image2.Image.Height(), 159);
    EXPECT_EQ(t.form.Image3.Image.Width(), 191);
    EXPECT_EQ(t.ws.ImageWidth, 96);  // the resampled size served the boxes only
    EXPECT_EQ(t.ws.ImageHeight, 80);
    EXPECT_EQ(t.ws.AlignX, 48);
    const Bitmap24& view = t.form.AlignImage.Image;
    ASSERT_GE(view.Width(), 2 * 64 + 20);
    ASSERT_EQ(view.Height(), 64 + 70);
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; x += 5) ASSERT_EQ(view.Pixel(x, y), t.form.Image2.Image.Pixel(64 + x, 48 + y));
}

}  // namespace
}  // namespace talvenor
