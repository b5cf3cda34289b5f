#include "workspace/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "workspace/bitmap_font.h"

namespace talvenor {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kFill = 0x3366CC;

using PixelSet = std::set<std::pair<int, int>>;

// Pixels that differ from black, as (x, y).
PixelSet Painted(const Bitmap24& bitmap) {
    PixelSet out;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (bitmap.Pixel(x, y) != Bgr{}) out.insert({x, y});
    return out;
}

// The picture as text, rows joined by '|': '.' black, '#' white, 'o' the fill colour,
// '?' anything else.
std::string Art(const Bitmap24& bitmap) {
    std::string art;
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (y > 0) art += '|';
        for (int x = 0; x < bitmap.Width(); ++x) {
            const uint32_t c = RgbOf(bitmap.Pixel(x, y));
            art += c == kBlack ? '.' : c == kWhite ? '#' : c == kFill ? 'o' : '?';
        }
    }
    return art;
}

Bitmap24 Noise(int width, int height) {
    Bitmap24 bitmap(width, height);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            bitmap.SetPixel(x, y, ColourOf(state >> 8));
        }
    return bitmap;
}

TEST(CanvasLine, BresenhamInEveryOctantLeavesTheEndPointUnpainted) {
    struct Case {
        PixelPoint from, to;
        PixelSet expected;
    };
    // Minor steps are k·a/b rounded to nearest, ties toward the start of the line.
    const std::vector<Case> cases = {
        {{6, 6}, {12, 8}, {{6, 6}, {7, 6}, {8, 7}, {9, 7}, {10, 7}, {11, 8}}},
        {{6, 6}, {8, 12}, {{6, 6}, {6, 7}, {7, 8}, {7, 9}, {7, 10}, {8, 11}}},
        {{6, 6}, {4, 12}, {{6, 6}, {6, 7}, {5, 8}, {5, 9}, {5, 10}, {4, 11}}},
        {{6, 6}, {0, 8}, {{6, 6}, {5, 6}, {4, 7}, {3, 7}, {2, 7}, {1, 8}}},
        {{6, 6}, {0, 4}, {{6, 6}, {5, 6}, {4, 5}, {3, 5}, {2, 5}, {1, 4}}},
        {{6, 6}, {4, 0}, {{6, 6}, {6, 5}, {5, 4}, {5, 3}, {5, 2}, {4, 1}}},
        {{6, 6}, {8, 0}, {{6, 6}, {6, 5}, {7, 4}, {7, 3}, {7, 2}, {8, 1}}},
        {{6, 6}, {12, 4}, {{6, 6}, {7, 6}, {8, 5}, {9, 5}, {10, 5}, {11, 4}}},
        {{6, 6}, {9, 6}, {{6, 6}, {7, 6}, {8, 6}}},
        {{6, 6}, {6, 3}, {{6, 6}, {6, 5}, {6, 4}}},
        {{6, 6}, {9, 9}, {{6, 6}, {7, 7}, {8, 8}}},
        {{6, 6}, {3, 3}, {{6, 6}, {5, 5}, {4, 4}}},
        {{6, 6}, {10, 8}, {{6, 6}, {7, 6}, {8, 7}, {9, 7}}},
        {{10, 8}, {6, 6}, {{10, 8}, {9, 8}, {8, 7}, {7, 7}}},
        {{6, 6}, {6, 6}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.y << " -> " << c.to.x << "," << c.to.y);
        // Xor would turn a pixel painted twice back to black, so this also checks each is painted once.
        Bitmap24 bitmap(13, 13);
        Canvas canvas(bitmap);
        canvas.Pen = {kWhite, 1, PenStyle::Solid, PenMode::Xor};
        canvas.MoveTo(c.from.x, c.from.y);
        canvas.LineTo(c.to.x, c.to.y);
        EXPECT_EQ(Painted(bitmap), c.expected);
        EXPECT_EQ(canvas.PenPos(), c.to);
    }
}

TEST(CanvasLine, ClippingKeepsExactlyThePixelsOfTheWholeLine) {
    struct Case {
        PixelPoint from, to;
        int width;
        PenStyle style;
    };
    const std::vector<Case> cases = {
        {{-250, -90}, {290, 130}, 1, PenStyle::Solid},  {{280, 40}, {-200, 10}, 1, PenStyle::Solid},
        {{13, -300}, {27, 299}, 1, PenStyle::Solid},    {{-77, 250}, {120, -260}, 1, PenStyle::Dotted},
        {{-250, -90}, {290, 130}, 3, PenStyle::Solid},  {{35, -280}, {-20, 200}, 4, PenStyle::Solid},
        {{-300, -300}, {300, 300}, 1, PenStyle::Dotted}, {{5, 29}, {39, 29}, 2, PenStyle::Solid},
    };
    constexpr int kOffset = 320;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.y << " -> " << c.to.x << "," << c.to.y);
        Bitmap24 small(40, 30), whole(2 * kOffset, 2 * kOffset);
        Canvas a(small), b(whole);
        a.Pen = b.Pen = {kWhite, c.width, c.style, PenMode::Xor};
        a.MoveTo(c.from.x, c.from.y);
        a.LineTo(c.to.x, c.to.y);
        b.MoveTo(c.from.x + kOffset, c.from.y + kOffset);
        b.LineTo(c.to.x + kOffset, c.to.y + kOffset);
        PixelSet visible;
        for (const auto& [x, y] : Painted(whole))
            if (x - kOffset >= 0 && x - kOffset < 40 && y - kOffset >= 0 && y - kOffset < 30)
                visible.insert({x - kOffset, y - kOffset});
        EXPECT_FALSE(visible.empty());
        EXPECT_EQ(Painted(small), visible);
    }
}

TEST(CanvasLine, EndsAtTheLimitsOfIntStillFollowTheIdealLine) {
    Bitmap24 bitmap(50, 20);
    Canvas canvas(bitmap);
    canvas.Pen.Colour = kWhite;
    canvas.MoveTo(-2000000000, -1000000000);  // y = x / 2 through the origin
    canvas.LineTo(2000000000, 1000000000);
    canvas.MoveTo(INT_MIN, INT_MIN);  // the diagonal
    canvas.LineTo(INT_MAX, INT_MAX);
    PixelSet expected;
    for (int x = 0; x < 40; ++x) expected.insert({x, x >> 1});
    for (int i = 0; i < 20; ++i) expected.insert({i, i});
    EXPECT_EQ(Painted(bitmap), expected);
}

TEST(CanvasLine, DottedPatternRunsOnAcrossSegmentsAndRestartsAtMoveTo) {
    const auto draw = [](int w, int h, const std::function<void(Canvas&)>& paint) {
        Bitmap24 bitmap(w, h);
        Canvas canvas(bitmap);
        canvas.Pen = {kWhite, 1, PenStyle::Dotted, PenMode::Copy};
        canvas.Brush.Style = BrushStyle::Clear;
        paint(canvas);
        return Art(bitmap);
    };
    EXPECT_EQ(draw(12, 1, [](Canvas& c) { c.MoveTo(0, 0); c.LineTo(12, 0); }), "##..##..##..");
    EXPECT_EQ(draw(12, 1, [](Canvas& c) { c.MoveTo(0, 0); c.LineTo(5, 0); c.LineTo(12, 0); }),
              "##..##..##..");
    EXPECT_EQ(draw(12, 1, [](Canvas& c) { c.MoveTo(0, 0); c.LineTo(3, 0); c.MoveTo(3, 0); c.LineTo(9, 0); }),
              "##.##..##...");
    EXPECT_EQ(draw(12, 1, [](Canvas& c) { c.Pen.Width = 2; c.MoveTo(0, 0); c.LineTo(12, 0); }),
              "############");
    // Round a rectangle the pattern walks clockwise from the top-left corner.
    EXPECT_EQ(draw(5, 4, [](Canvas& c) { c.Rectangle(0, 0, 5, 4); }), "##..#|#...#|#....|..##.");
}

TEST(CanvasShape, RectangleOutlinesFillsAndExcludesItsRightAndBottomEdges) {
    const std::vector<std::pair<std::function<void(Canvas&)>, std::string>> cases = {
        {[](Canvas& c) { c.Rectangle(1, 1, 7, 6); }, "........|.######.|.#oooo#.|.#oooo#.|.#oooo#.|.######."},
        {[](Canvas& c) { c.Rectangle(7, 6, 1, 1); }, "........|.######.|.#oooo#.|.#oooo#.|.#oooo#.|.######."},
        {[](Canvas& c) { c.Pen.Width = 2; c.Rectangle(1, 1, 7, 6); },
         "........|.######.|.######.|.##oo##.|.######.|.######."},
        {[](Canvas& c) { c.Brush.Style = BrushStyle::Clear; c.Rectangle(1, 1, 7, 6); },
         "........|.######.|.#....#.|.#....#.|.#....#.|.######."},
        {[](Canvas& c) { c.FrameRect({1, 1, 7, 6}); },
         "........|.oooooo.|.o....o.|.o....o.|.o....o.|.oooooo."},
        {[](Canvas& c) { c.Pen.Mode = PenMode::Xor; c.FillRect({1, 1, 3, 3}); },
         "........|.oo.....|.oo.....|........|........|........"},
        {[](Canvas& c) { c.Rectangle(3, 3, 3, 6); c.Rectangle(1, 2, 2, 3); },
         "........|........|.#......|........|........|........"},
    };
    for (const auto& [paint, expected] : cases) {
        Bitmap24 bitmap(8, 6);
        const uint64_t generation = bitmap.Generation();
        Canvas canvas(bitmap);
        canvas.Pen.Colour = kWhite;
        canvas.Brush.Colour = kFill;
        paint(canvas);
        EXPECT_EQ(Art(bitmap), expected);
        EXPECT_GT(bitmap.Generation(), generation);  // the display must repaint
    }
}

TEST(CanvasShape, EllipseFillsItsBoxSymmetricallyTouchingEverySide) {
    const auto draw = [](int w, int h) {
        Bitmap24 bitmap(w, h);
        Canvas canvas(bitmap);
        canvas.Pen.Colour = kWhite;
        canvas.Brush.Colour = kFill;
        canvas.Ellipse(0, 0, w, h);
        return bitmap;
    };
    EXPECT_EQ(Art(draw(4, 4)), ".##.|#oo#|#oo#|.##.");
    EXPECT_EQ(Art(draw(5, 5)), ".###.|#ooo#|#ooo#|#ooo#|.###.");

    // The bitmap is the box, so the figure must reach each of its edges.
    const std::vector<std::pair<int, int>> boxes = {{30, 30}, {31, 17}, {9, 2}, {60, 3}, {3, 40}, {2, 9}};
    for (const auto& [w, h] : boxes) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        const Bitmap24 bitmap = draw(w, h);
        const auto at = [&](int x, int y) {
            return bitmap.Contains(x, y) ? RgbOf(bitmap.Pixel(x, y)) : kBlack;
        };
        bool top = false, bottom = false, left = false, right = false;
        for (int y = 0; y < h; ++y) {
            left |= at(0, y) == kWhite;
            right |= at(w - 1, y) == kWhite;
            for (int x = 0; x < w; ++x) {
                top |= y == 0 && at(x, y) == kWhite;
                bottom |= y == h - 1 && at(x, y) == kWhite;
                EXPECT_EQ(at(x, y), at(w - 1 - x, y));
                EXPECT_EQ(at(x, y), at(x, h - 1 - y));
                // The outline always stands between the fill and the background.
                if (at(x, y) != kFill) continue;
                EXPECT_TRUE(at(x - 1, y) && at(x + 1, y) && at(x, y - 1) && at(x, y + 1)) << x << "," << y;
            }
        }
        EXPECT_TRUE(top && bottom && left && right);
    }
    // A 30-pixel circle covers close to π·15² pixels.
    EXPECT_NEAR(double(Painted(draw(30, 30)).size()), 706.9, 706.9 * 0.03);
}

// Every figure the exclusive-or pen can draw, partly off the picture's edges too. Drawn
// twice on a noisy picture it must vanish; drawn once on black it must look as in Copy
// mode, which holds only if no pixel is painted twice within one figure.
TEST(CanvasXor, DrawingTheSameFigureTwiceRestoresThePicture) {
    const std::vector<std::pair<const char*, std::function<void(Canvas&)>>> figures = {
        {"line", [](Canvas& c) { c.MoveTo(-5, 3); c.LineTo(70, 40); }},
        {"wide line", [](Canvas& c) { c.Pen.Width = 3; c.MoveTo(10, -10); c.LineTo(30, 60); }},
        {"dotted line",
         [](Canvas& c) { c.Pen.Style = PenStyle::Dotted; c.MoveTo(0, 47); c.LineTo(63, 0); }},
        {"closed polyline",
         [](Canvas& c) {
             const PixelPoint p[] = {{5, 5}, {60, 9}, {33, 44}, {-8, 30}, {5, 5}};
             c.Polyline(p);
         }},
        {"filled rectangle", [](Canvas& c) { c.Rectangle(-10, 20, 40, 60); }},
        {"dotted box",
         [](Canvas& c) {
             c.Pen.Style = PenStyle::Dotted;
             c.Brush.Style = BrushStyle::Clear;
             c.Rectangle(8, 8, 41, 41);
         }},
        {"wide rectangle", [](Canvas& c) { c.Pen.Width = 4; c.Rectangle(50, 3, 90, 30); }},
        {"filled ellipse", [](Canvas& c) { c.Ellipse(12, -6, 55, 36); }},
        {"wide ellipse",
         [](Canvas& c) { c.Pen.Width = 3; c.Brush.Style = BrushStyle::Clear; c.Ellipse(-20, 10, 30, 47); }},
        {"huge ellipse", [](Canvas& c) { c.Ellipse(-2000000000, -1000000000, 40, 1000000000); }},
    };
    const Bitmap24 original = Noise(64, 48);
    for (const auto& [name, draw] : figures) {
        SCOPED_TRACE(name);
        Bitmap24 bitmap = original, copied(64, 48), xored(64, 48);
        for (Bitmap24* target : {&bitmap, &copied, &xored}) {
            Canvas canvas(*target);
            canvas.Pen = {kWhite, 1, PenStyle::Solid, target == &copied ? PenMode::Copy : PenMode::Xor};
            canvas.Brush.Colour = kFill;
            draw(canvas);
            if (target != &bitmap) continue;
            EXPECT_FALSE(bitmap == original);
            draw(canvas);
            EXPECT_TRUE(bitmap == original);
        }
        EXPECT_EQ(Art(xored), Art(copied));
    }
}

TEST(CanvasClip, FiguresAnywhereNeverWriteOutsideTheBitmap) {
    // Run under AddressSanitizer too: any write past the buffer is reported there.
    const std::vector<std::function<void(Canvas&)>> figures = {
        [](Canvas& c) { c.MoveTo(INT_MIN, INT_MAX); c.LineTo(INT_MAX, INT_MIN); },
        [](Canvas& c) { c.Pen.Width = 7; c.MoveTo(INT_MIN, 3); c.LineTo(INT_MAX, 5); },
        [](Canvas& c) { c.Pen.Width = 1000; c.MoveTo(-3000, -2000); c.LineTo(3000, 2500); },
        [](Canvas& c) { c.Pen.Style = PenStyle::Dotted; c.Rectangle(INT_MIN, INT_MIN, INT_MAX, 7); },
        [](Canvas& c) { c.Pen.Width = 50; c.Rectangle(INT_MIN, -4, INT_MAX, 9); },
        [](Canvas& c) { c.Ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX); },
        [](Canvas& c) { c.Pen.Width = 9; c.Ellipse(-40, -40, 17, 13); },
        [](Canvas& c) { c.FillRect({INT_MIN, INT_MIN, INT_MAX, INT_MAX}); c.FrameRect({-1, -1, 17, 13}); },
        [](Canvas& c) {
            c.Font = {kWhite, 2, TextBackground::Opaque};
            c.TextOut(-7, -9, "Quality 100%");
            c.TextOut(INT_MAX - 5, 4, "xyz");
            c.TextOut(INT_MIN, 4, "xyz");
            c.TextOut(0, INT_MIN, "x");
        },
        [](Canvas& c) { c.StretchDraw({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, Noise(3, 5)); },
        [](Canvas& c) { c.StretchDraw({-9, 11, 30, 40}, Noise(7, 2)); },
        [](Canvas& c) { c.SetPixel(-1, 0, kWhite); c.SetPixel(16, 0, kWhite); c.SetPixel(0, 12, kWhite); },
    };
    for (const auto& draw : figures) {
        for (const auto& [w, h] : std::vector<std::pair<int, int>>{{16, 12}, {0, 0}, {0, 5}, {7, 0}}) {
            Bitmap24 bitmap(w, h);
            Canvas canvas(bitmap);
            draw(canvas);
        }
    }

    // Wholly outside leaves the picture alone; reading outside gives the marker.
    Bitmap24 bitmap = Noise(16, 12);
    const Bitmap24 original = bitmap;
    Canvas canvas(bitmap);
    canvas.MoveTo(-100, -5);
    canvas.LineTo(100, -1);
    canvas.Ellipse(16, 0, 2000000000, 12);
    canvas.Rectangle(-50, 12, 50, 40);
    canvas.TextOut(16, 0, "Frame");
    canvas.TextOut(-30, 0, "Frame");  // exactly 30 pixels wide: ends at the left edge
    canvas.StretchDraw({-8, -8, 0, 0}, Noise(2, 2));
    EXPECT_TRUE(bitmap == original);
    EXPECT_EQ(canvas.Pixel(-1, 0), Canvas::kOutside);
    EXPECT_EQ(canvas.Pixel(0, 12), Canvas::kOutside);
    EXPECT_EQ(canvas.Pixel(15, 11), RgbOf(original.Pixel(15, 11)));
}

// Renders text alone on a black bitmap with room round it.
Bitmap24 RenderText(std::string_view text, int scale = 1) {
    Bitmap24 bitmap(8 + 6 * 20 * scale, 10 + 10 * scale);
    Canvas canvas(bitmap);
    canvas.Pen.Colour = kWhite;
    canvas.Font.Scale = scale;
    canvas.TextOut(4, 5, text);
    return bitmap;
}

TEST(CanvasText, MetricsAndInkStayWithinTheTextBox) {
    Bitmap24 scratch(1, 1);
    Canvas canvas(scratch);
    EXPECT_EQ(canvas.TextWidth("Quality"), 42);
    EXPECT_EQ(canvas.TextWidth("25\u00B0"), 18);
    EXPECT_EQ(canvas.TextHeight(), 10);
    canvas.Font.Scale = 2;
    EXPECT_EQ(canvas.TextWidth("-0.5"), 48);
    EXPECT_EQ(canvas.TextHeight(), 20);

    for (const int scale : {1, 2}) {
        for (const char* text : {"Quality", "100%", "-0.5", "gjpqy_|", "\u00B5m 3\u00B0", "\x01\x7F"}) {
            SCOPED_TRACE(testing::Message() << text << " at scale " << scale);
            Canvas measure(scratch);
            measure.Font.Scale = scale;
            const int w = measure.TextWidth(text), h = measure.TextHeight();
            const PixelSet ink = Painted(RenderText(text, scale));
            EXPECT_FALSE(ink.empty());
            for (const auto& [x, y] : ink)
                EXPECT_TRUE(x >= 4 && x < 4 + w && y >= 5 && y < 5 + h) << x << "," << y;
        }
    }
}

TEST(CanvasText, EveryCharacterHasItsOwnGlyphAndUnknownOnesShowABox) {
    std::vector<std::string> characters;
    for (char c = 32; c < 127; ++c) characters.emplace_back(1, c);
    characters.push_back("\u00B0");
    characters.push_back("\u00B5");
    std::map<PixelSet, std::string> seen;
    for (const std::string& c : characters) {
        const PixelSet ink = Painted(RenderText(c));
        EXPECT_EQ(ink.empty(), c == " ") << c;
        // The cell's last column stays blank, so neighbouring glyphs never touch.
        for (const auto& [x, y] : ink) EXPECT_LT(x - 4, BitmapFont::kCellWidth - 1) << c;
        const auto [it, fresh] = seen.emplace(ink, c);
        EXPECT_TRUE(fresh) << c << " looks like " << it->second;
    }
    const PixelSet box = Painted(RenderText("\u263A"));
    EXPECT_FALSE(seen.count(box));
    EXPECT_EQ(Painted(RenderText("\t")), box);
    // A lone Latin-1 byte is read as that character.
    EXPECT_EQ(Painted(RenderText("\xB0")), Painted(RenderText("\u00B0")));
    EXPECT_NE(Painted(RenderText("-0.5")), Painted(RenderText("-0.6")));
    EXPECT_NE(Painted(RenderText("Frame")), Painted(RenderText("frame")));
}

TEST(CanvasText, ScaleMagnifiesAndColoursAndBackgroundFollowTheSettings) {
    const Bitmap24 one = RenderText("Ag9%", 1), two = RenderText("Ag9%", 2);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 48; ++x)
            EXPECT_EQ(two.Pixel(4 + x, 5 + y), one.Pixel(4 + x / 2, 5 + y / 2)) << x << "," << y;

    Bitmap24 bitmap(30, 14);
    Canvas canvas(bitmap);
    canvas.Pen = {0xFF0000, 1, PenStyle::Solid, PenMode::Xor};
    canvas.TextOut(1, 1, "q");  // no colour of its own: the pen's, and always copied
    EXPECT_EQ(canvas.Pixel(1, 5), 0xFF0000u);
    canvas.Font.Colour = 0x00FF00;
    canvas.Brush.Colour = kFill;
    canvas.Font.Background = TextBackground::Opaque;
    canvas.TextOut(10, 2, "ab");
    for (int y = 0; y < 14; ++y)
        for (int x = 10; x < 30; ++x) {
            const bool inBox = x < 22 && y >= 2 && y < 12;
            const uint32_t c = canvas.Pixel(x, y);
            EXPECT_TRUE(inBox ? (c == kFill || c == 0x00FF00) : c == kBlack) << x << "," << y;
        }
}

TEST(CanvasStretch, NearestNeighbourSamplesUnderEachPixelCentre) {
    const Bitmap24 src = Noise(2, 2);
    Bitmap24 target(4, 4);
    Canvas canvas(target);
    canvas.StretchDraw({0, 0, 4, 4}, src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(target.Pixel(x, y), src.Pixel(x / 2, y / 2)) << x << y;

    // Off the top-left corner only the source's last pixel shows.
    target.Fill(Bgr{});
    canvas.StretchDraw({-2, -2, 2, 2}, src);
    EXPECT_EQ(Art(target), "??..|??..|....|....");
    EXPECT_EQ(target.Pixel(1, 1), src.Pixel(1, 1));

    // Uneven ratios: 3 → 5 takes columns 0 0 1 2 2; 4 → 2 takes columns 1 and 3.
    const Bitmap24 row3 = Noise(3, 1), row4 = Noise(4, 1);
    Bitmap24 wide(5, 1), narrow(2, 1);
    Canvas(wide).StretchDraw({0, 0, 5, 1}, row3);
    Canvas(narrow).StretchDraw({0, 0, 2, 1}, row4);
    const int expected3[] = {0, 0, 1, 2, 2};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(wide.Pixel(x, 0), row3.Pixel(expected3[x], 0)) << x;
    EXPECT_EQ(narrow.Pixel(0, 0), row4.Pixel(1, 0));
    EXPECT_EQ(narrow.Pixel(1, 0), row4.Pixel(3, 0));

    // Onto itself: the result is that of drawing an untouched copy.
    Bitmap24 self = Noise(6, 6), expected = self;
    const Bitmap24 copy = self;
    Canvas(self).StretchDraw({1, 1, 4, 4}, self);
    Canvas(expected).StretchDraw({1, 1, 4, 4}, copy);
    EXPECT_TRUE(self == expected);
}

// Not a check: with TALVENOR_CANVAS_SAMPLE=/some/file.ppm it writes a graph-like picture
// using every kind of figure, for a person to look at the font and shapes at 1:1.
TEST(CanvasSample, WritesAPictureToLookAt) {
    const char* path = std::getenv("TALVENOR_CANVAS_SAMPLE");
    if (path == nullptr || *path == '\0') GTEST_SKIP() << "set TALVENOR_CANVAS_SAMPLE to a .ppm path";
    Bitmap24 bitmap(300, 250);
    Canvas c(bitmap);
    c.Brush.Colour = kWhite;
    c.Rectangle(0, 0, 300, 250);
    c.Pen.Colour = 0xC0C0C0;
    for (int i = 0; i <= 10; ++i) {
        c.MoveTo(1, 250 - 25 * i - 2);
        c.LineTo(299, 250 - 25 * i - 2);
        c.MoveTo(30 * i + 1, 1);
        c.LineTo(30 * i + 1, 249);
    }
    c.Pen.Colour = 0xFF0000;
    c.TextOut(10, 150, " red  line = image quality");
    c.MoveTo(0, 0);
    for (int r = 0; r <= 30; ++r) {
        if (r == 18) c.Pen.Style = PenStyle::Dotted;
        c.LineTo(r * 10, 250 - int(240.0 / (1.0 + 0.05 * r * r / 4)));
    }
    c.Pen = {0x0000FF, 1, PenStyle::Solid, PenMode::Copy};
    c.TextOut(10, 180, " blue line = registration difference");
    c.Pen = {0x008000, 2, PenStyle::Solid, PenMode::Copy};
    c.MoveTo(91, 0);
    c.LineTo(91, 250);
    c.TextOut(95, 5, "<- Quality filter");
    c.Font.Colour = kBlack;
    c.TextOut(150, 17, "quality :0.01230");
    c.TextOut(4, 30, "Quality  Frame  100%  -0.5  25\u00B0C  3\u00B5m");
    c.TextOut(4, 42, "ABCDEFGHIJKLMNOPQRSTUVWXYZ [\\]^_`{|}~");
    c.TextOut(4, 54, "abcdefghijklmnopqrstuvwxyz 0123456789");
    c.TextOut(4, 66, "!\"#$&'()*+,./:;<=>?@ \u263A");
    c.Font.Scale = 2;
    c.Font.Background = TextBackground::Opaque;
    c.Brush.Colour = 0xFFFFC0;
    c.TextOut(120, 90, "Frame 42");
    c.Font = {};
    c.Brush.Style = BrushStyle::Clear;
    c.Ellipse(200, 190, 230, 220);
    c.Ellipse(240, 190, 244, 194);
    c.Pen.Width = 2;
    c.Ellipse(250, 190, 290, 215);
    c.Pen = {kWhite, 1, PenStyle::Solid, PenMode::Xor};
    c.Rectangle(40, 110, 104, 174);
    Bitmap24 thumb(3, 2);
    thumb.Fill(ColourOf(0x808000));
    thumb.SetPixel(1, 1, ColourOf(0xFF00FF));
    c.StretchDraw({200, 225, 230, 245}, thumb);

    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "P6\n%d %d\n255\n", bitmap.Width(), bitmap.Height());
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Bgr p = bitmap.Pixel(x, y);
            const uint8_t rgb[3] = {p.r, p.g, p.b};
            std::fwrite(rgb, 1, 3, f);
        }
    std::fclose(f);
}

}  // namespace
}  // namespace talvenor
