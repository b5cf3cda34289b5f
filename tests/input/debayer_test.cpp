#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/debayer.h"

namespace talvenor {
namespace {

constexpr BayerPattern kAllPatterns[] = {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr};

// The mosaic a sensor with `pattern` records of `scene`: each pixel keeps its filter's channel.
Bitmap24 Mosaic(const Bitmap24& scene, BayerPattern pattern) {
    Bitmap24 m(scene.Width(), scene.Height());
    for (int y = 0; y < scene.Height(); ++y)
        for (int x = 0; x < scene.Width(); ++x) {
            const Bgr p = scene.Pixel(x, y);
            const uint8_t v = BayerChannelAt(pattern, x, y) == 0 ? p.r : BayerChannelAt(pattern, x, y) == 1 ? p.g : p.b;
            m.SetPixel(x, y, Bgr{v, v, v});
        }
    return m;
}

uint8_t ChannelOf(Bgr p, int channel) { return channel == 0 ? p.r : channel == 1 ? p.g : p.b; }

// Root mean square difference over all three channels, `border` pixels in from the edges.
double InteriorRms(const Bitmap24& a, const Bitmap24& b, int border) {
    double sum = 0;
    int n = 0;
    for (int y = border; y < a.Height() - border; ++y)
        for (int x = border; x < a.Width() - border; ++x)
            for (int c = 0; c < 3; ++c, ++n) {
                const double d = ChannelOf(a.Pixel(x, y), c) - ChannelOf(b.Pixel(x, y), c);
                sum += d * d;
            }
    return std::sqrt(sum / std::max(1, n));
}

// A colour scene hard on a demosaic: a disk with a one-pixel limb, a coloured band across it,
// thin black and white stripes both ways, a grey step and a diagonal edge.
Bitmap24 SharpScene() {
    Bitmap24 s(96, 72);
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 96; ++x) {
            Bgr p{40, 25, 20};
            const double r = std::hypot(x - 60.3, y - 34.6);
            if (r < 24) {
                const double dark = 1 - 0.5 * (r / 24) * (r / 24);
                p = Bgr{uint8_t(90 * dark), uint8_t(170 * dark), uint8_t(235 * dark)};
                if (y >= 28 && y < 33) p = Bgr{60, 110, 200};
            }
            if (x < 24 && y < 24) p = ((x / 2) % 2) ? Bgr{230, 230, 230} : Bgr{15, 15, 15};
            if (x < 24 && y >= 24 && y < 48) p = ((y / 2) % 2) ? Bgr{200, 220, 240} : Bgr{30, 20, 10};
            if (x < 24 && y >= 48) p = x + y < 72 ? Bgr{20, 200, 60} : Bgr{220, 40, 160};
            if (x >= 88) p = y < 37 ? Bgr{180, 180, 180} : Bgr{50, 50, 50};
            s.SetPixel(x, y, p);
        }
    return s;
}

TEST(Debayer, NamesPatternsAndFlatColours) {
    for (BayerPattern p : kAllPatterns) EXPECT_EQ(ParseBayerPattern(BayerPatternName(p)), p);
    EXPECT_EQ(ParseBayerPattern("gbrg"), BayerPattern::Gbrg);
    EXPECT_FALSE(ParseBayerPattern("RGB"));
    EXPECT_FALSE(ParseBayerPattern("none"));
    for (DebayerMethod m : {DebayerMethod::Bilinear, DebayerMethod::Edge})
        EXPECT_EQ(ParseDebayerMethod(DebayerMethodName(m)), m);
    EXPECT_EQ(ParseDebayerMethod("Edge"), DebayerMethod::Edge);
    EXPECT_FALSE(ParseDebayerMethod("vng"));
    EXPECT_FALSE(ParseDebayerMethod(""));

    EXPECT_EQ(BayerChannelAt(BayerPattern::Rggb, 0, 0), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Rggb, 1, 1), 2);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Grbg, 1, 0), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Gbrg, 0, 1), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Bggr, 1, 1), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Bggr, -1, -1), 0);  // the cell repeats leftwards too
    for (BayerPattern p : kAllPatterns)
        for (DebayerMethod m : {DebayerMethod::Bilinear, DebayerMethod::Edge}) {
            Bitmap24 scene(9, 7);
            scene.Fill(Bgr{30, 140, 220});
            Bitmap24 mosaic = Mosaic(scene, p);
            Debayer(mosaic, p, m);
            EXPECT_EQ(mosaic, scene) << BayerPatternName(p) << " " << DebayerMethodName(m);
        }
}

TEST(Debayer, BilinearFollowsASmoothGradient) {
    // Linear ramps are reproduced exactly by the neighbour means away from the edges.
    Bitmap24 scene(16, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) scene.SetPixel(x, y, Bgr{uint8_t(10 * y), uint8_t(8 * x + 4 * y), uint8_t(12 * x)});
    Bitmap24 m = Mosaic(scene, BayerPattern::Rggb);
    DebayerBilinear(m, BayerPattern::Rggb);
    int worst = 0;
    for (int y = 1; y < 11; ++y)
        for (int x = 1; x < 15; ++x) {
            const Bgr a = m.Pixel(x, y), b = scene.Pixel(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 1);
}

TEST(Debayer, EdgeMethodIsCloserToTheSceneAndKeepsEverySample) {
    const Bitmap24 scene = SharpScene();
    for (BayerPattern p : kAllPatterns) {
        const Bitmap24 mosaic = Mosaic(scene, p);
        Bitmap24 bilinear = mosaic, edge = mosaic;
        Debayer(bilinear, p, DebayerMethod::Bilinear);
        Debayer(edge, p, DebayerMethod::Edge);
        const double rmsBilinear = InteriorRms(bilinear, scene, 2), rmsEdge = InteriorRms(edge, scene, 2);
        EXPECT_LT(rmsEdge, 0.5 * rmsBilinear) << BayerPatternName(p);
        for (int y = 0; y < scene.Height(); ++y)
            for (int x = 0; x < scene.Width(); ++x) {
                const int c = BayerChannelAt(p, x, y);
                ASSERT_EQ(ChannelOf(bilinear.Pixel(x, y), c), ChannelOf(scene.Pixel(x, y), c)) << x << "," << y;
                ASSERT_EQ(ChannelOf(edge.Pixel(x, y), c), ChannelOf(scene.Pixel(x, y), c)) << x << "," << y;
            }
    }

    // A grey step, across or along the rows, comes back without a zipper or a coloured fringe.
    for (bool vertical : {false, true}) {
        Bitmap24 scene(20, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) {
                const uint8_t v = (vertical ? x < 9 : y < 7) ? 210 : 35;
                scene.SetPixel(x, y, Bgr{v, v, v});
            }
        Bitmap24 edge = Mosaic(scene, BayerPattern::Grbg);
        Debayer(edge, BayerPattern::Grbg, DebayerMethod::Edge);
        EXPECT_EQ(InteriorRms(edge, scene, 2), 0.0) << vertical;
    }
}

TEST(Debayer, WideSamplesStayInRange) {
    // Full-scale 16-bit stripes against black: the gradient corrections would overshoot past
    // 65535 (or wrap) and under 0 if they were not held to the recorded range.
    for (int top : {65535, 4095}) {
        const int w = 24, h = 20;
        std::vector<uint16_t> mosaic(w * h), rgb(3 * w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mosaic[y * w + x] = uint16_t(((x / 3 + y / 5) % 2) ? top : (x * 7 + y * 3) % 40);
        for (BayerPattern p : kAllPatterns)
            for (DebayerMethod m : {DebayerMethod::Bilinear, DebayerMethod::Edge}) {
                DebayerSamples(mosaic.data(), w, h, p, m, rgb.data());
                for (int i = 0; i < w * h; ++i) {
                    const int x = i % w, y = i / w;
                    ASSERT_EQ(rgb[3 * i + BayerChannelAt(p, x, y)], mosaic[i]);
                    for (int c = 0; c < 3; ++c) ASSERT_LE(rgb[3 * i + c], top) << x << "," << y;
                }
            }
    }
}

TEST(Debayer, EdgesAreMirroredAndTinyMosaicsComeOutGrey) {
    // Demosaicing a mosaic equals demosaicing it with its mirror image added around it (an even
    // width, so the filter cells line up) and cutting that border off again.
    constexpr int w = 15, h = 11, pad = 4, pw = w + 2 * pad, ph = h + 2 * pad;
    const auto mirror = [](int i, int n) { return i < 0 ? -i : i >= n ? 2 * n - 2 - i : i; };
    std::vector<uint16_t> mosaic(w * h), padded(pw * ph), rgb(3 * w * h), paddedRgb(3 * pw * ph);
    for (int i = 0; i < w * h; ++i) mosaic[i] = uint16_t((i * 7919) % 1000 + ((i % w) > 8 ? 3000 : 0));
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) padded[y * pw + x] = mosaic[mirror(y - pad, h) * w + mirror(x - pad, w)];
    // Scratch kept from call to call (of both sizes, every pattern and method) changes nothing.
    DebayerScratch scratch;
    std::vector<uint16_t> again(rgb.size());
    for (BayerPattern p : kAllPatterns)
        for (DebayerMethod m : {DebayerMethod::Bilinear, DebayerMethod::Edge}) {
            DebayerSamples(mosaic.data(), w, h, p, m, rgb.data());
            DebayerSamples(padded.data(), pw, ph, p, m, paddedRgb.data(), &scratch);
            DebayerSamples(mosaic.data(), w, h, p, m, again.data(), &scratch);
            ASSERT_EQ(again, rgb);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(rgb[3 * (y * w + x) + c], paddedRgb[3 * ((y + pad) * pw + x + pad) + c])
                            << BayerPatternName(p) << " " << DebayerMethodName(m) << " " << x << "," << y;
        }

    // A single row or column has no whole filter cell: grey. Two and three wide still demosaic.
    const std::vector<uint16_t> line = {5, 900, 17, 3000, 42};
    std::vector<uint16_t> grey(3 * line.size());
    for (auto [cols, rows] : {std::pair{5, 1}, std::pair{1, 5}}) {
        DebayerSamples(line.data(), cols, rows, BayerPattern::Rggb, DebayerMethod::Edge, grey.data());
        for (std::size_t i = 0; i < line.size(); ++i)
            EXPECT_TRUE(grey[3 * i] == line[i] && grey[3 * i + 1] == line[i] && grey[3 * i + 2] == line[i]);
    }
    for (auto [cols, rows] : {std::pair{2, 2}, std::pair{3, 2}, std::pair{2, 3}, std::pair{3, 3}}) {
        Bitmap24 scene(cols, rows);
        scene.Fill(Bgr{10, 120, 250});
        Bitmap24 picture = Mosaic(scene, BayerPattern::Gbrg);
        // The same mosaic held as grey bytes (a grey capture's frame) demosaics alike.
        Bitmap24 grey;
        grey.SetGreySize(cols, rows);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) grey.GreyRowToFill(y)[x] = picture.Pixel(x, y).g;
        Debayer(picture, BayerPattern::Gbrg, DebayerMethod::Edge);
        Debayer(grey, BayerPattern::Gbrg, DebayerMethod::Edge, &scratch);
        EXPECT_EQ(picture, scene) << cols << "x" << rows;
        EXPECT_EQ(grey, scene) << cols << "x" << rows;
    }
}

// Reads a binary PGM (P5) or PPM (P6) with 8-bit samples written without comments.
std::vector<uint8_t> ReadNetpbm(const std::filesystem::path& path, const char* magic, int& w, int& h) {
    std::ifstream in(path, std::ios::binary);
    std::string kind;
    int maxValue = 0;
    in >> kind >> w >> h >> maxValue;
    in.get();
    if (!in || kind != magic || maxValue != 255) return {};
    std::vector<uint8_t> data(std::size_t(w) * std::size_t(h) * (kind == "P6" ? 3 : 1));
    in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    return in ? data : std::vector<uint8_t>{};
}

TEST(Debayer, BilinearAgreesWithOpenCv) {
    // Made by fixtures/debayer/make_fixtures.py: OpenCV's demosaic of one mosaic under each
    // pattern. It rounds the means as we do, so everything matches to the level, except the
    // outermost ring, which OpenCV copies from the pixels one in rather than mirroring.
    const std::filesystem::path dir = std::filesystem::path(TALVENOR_SOURCE_DIR) / "tests/input/fixtures/debayer";
    int w = 0, h = 0;
    const std::vector<uint8_t> mosaic8 = ReadNetpbm(dir / "mosaic.pgm", "P5", w, h);
    ASSERT_FALSE(mosaic8.empty());
    const std::vector<uint16_t> mosaic(mosaic8.begin(), mosaic8.end());
    std::vector<uint16_t> rgb(3 * mosaic.size());
    for (BayerPattern p : kAllPatterns) {
        int ow = 0, oh = 0;
        std::string name = BayerPatternName(p);
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::vector<uint8_t> opencv = ReadNetpbm(dir / ("opencv_" + name + ".ppm"), "P6", ow, oh);
        ASSERT_TRUE(!opencv.empty() && ow == w && oh == h) << name;
        DebayerSamples(mosaic.data(), w, h, p, DebayerMethod::Bilinear, rgb.data());
        int worst = 0;
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x)
                for (int c = 0; c < 3; ++c) {
                    const std::size_t i = 3 * (std::size_t(y) * std::size_t(w) + std::size_t(x)) + std::size_t(c);
                    worst = std::max(worst, std::abs(int(rgb[i]) - int(opencv[i])));
                }
        EXPECT_EQ(worst, 0) << name;
    }
}

}  // namespace
}  // namespace talvenor
