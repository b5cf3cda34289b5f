#include "workspace/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "workspace/bitmap_font.h"

namespace talvenor {
namespace {

// A dotted pen paints kDotOn pixels of every kDotPeriod. One-on-one-off would read as a
// faint solid line at 1:1, which defeats its purpose on the ranking graph.
constexpr int64_t kDotOn = 2, kDotPeriod = 4;
constexpr int kMaxPenWidth = 1000;
constexpr int kMaxFontScale = 4;

struct QuotRem {
    int64_t q = 0, r = 0;
};

// floor((m * n + add) / d) and the remainder, for non-negative m, n, add and positive d, all
// below 2^40. Lines and stretches may span the whole int range, where m * n no longer fits in
// 64 bits, so the product is accumulated bit by bit with the running remainder kept below d.
QuotRem MulAddDiv(int64_t m, int64_t n, int64_t add, int64_t d) {
    int64_t q = add / d + (n / d) * m;
    int64_t r = add % d;
    const int64_t nr = n % d;
    int64_t pq = 0, pr = 0;
    for (int bit = 62; bit >= 0; --bit) {
        pq *= 2;
        pr *= 2;
        if (pr >= d) {
            pr -= d;
            ++pq;
        }
        if ((m >> bit) & 1) {
            pr += nr;
            if (pr >= d) {
                pr -= d;
                ++pq;
            }
        }
    }
    q += pq;
    r += pr;
    if (r >= d) {
        r -= d;
        ++q;
    }
    return {q, r};
}

struct Span {
    int64_t a = 0, b = -1;  // inclusive
    bool Empty() const { return a > b; }
};

// The ellipse inscribed in [left, right) × [top, bottom): the pixels whose centres lie inside
// it, except that every row of the box keeps at least its middle pixel(s) and the middle
// row(s) always run the full width, so the figure touches all four sides of its box as a
// classic canvas ellipse does, even when it is very flat or very narrow.
struct EllipseBox {
    int64_t left = 0, top = 0, right = 0, bottom = 0;

    bool Empty() const { return left >= right || top >= bottom; }

    Span Row(int64_t y) const {
        if (Empty() || y < top || y >= bottom) return {};
        // Doubled coordinates keep the centre, which sits on a half pixel for even sizes,
        // an integer; 2x - cx2 then has the parity of cx2 for every pixel x.
        const int64_t cx2 = left + right - 1, cy2 = top + bottom - 1;
        const int64_t width = right - left, height = bottom - top;
        const int64_t dy2 = std::abs(2 * y - cy2);
        int64_t m = width - 1;
        if (dy2 > 1) {
            const double t = double(dy2) / double(height);
            const double half2 = double(width) * std::sqrt(std::max(0.0, 1.0 - t * t));
            m = std::min(width - 1, int64_t(std::floor(half2 + 1e-9)));
            if ((m - cx2) % 2 != 0) --m;
            m = std::max(m, cx2 & 1);
        }
        return {(cx2 - m) / 2, (cx2 + m) / 2};
    }

    // The pixels of row y whose four neighbours also belong to the ellipse: what is left of
    // the figure once its one-pixel outline is taken away.
    Span Interior(int64_t y) const {
        const Span here = Row(y), above = Row(y - 1), below = Row(y + 1);
        if (here.Empty() || above.Empty() || below.Empty()) return {};
        return {std::max({here.a + 1, above.a, below.a}), std::min({here.b - 1, above.b, below.b})};
    }
};

}  // namespace

int Canvas::PenWidth() const { return std::clamp(Pen.Width, 1, kMaxPenWidth); }

int Canvas::FontScale() const { return std::clamp(Font.Scale, 1, kMaxFontScale); }

void Canvas::PaintSpan(int64_t y, int64_t x0, int64_t x1, Bgr colour, PenMode mode) {
    if (y < 0 || y >= bitmap_.Height()) return;
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, int64_t(bitmap_.Width()) - 1);
    if (x0 > x1) return;
    uint8_t* p = bitmap_.Row(int(y)) + 3 * x0;
    uint8_t* const end = p + 3 * (x1 - x0 + 1);
    if (mode == PenMode::Copy) {
        for (; p != end; p += 3) {
            p[0] = colour.b;
            p[1] = colour.g;
            p[2] = colour.r;
        }
    } else {
        for (; p != end; p += 3) {
            p[0] ^= colour.b;
            p[1] ^= colour.g;
            p[2] ^= colour.r;
        }
    }
}

void Canvas::MoveTo(int x, int y) {
    pos_ = {x, y};
    dot_phase_ = 0;
}

void Canvas::LineTo(int x, int y) {
    const PixelPoint from = pos_;
    pos_ = {x, y};
    DrawSegment(from.x, from.y, x, y);
    bitmap_.Touch();
}

void Canvas::Polyline(std::span<const PixelPoint> points) {
    if (points.empty()) return;
    MoveTo(points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
}

void Canvas::DrawSegment(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const int64_t adx = std::abs(dx), ady = std::abs(dy);
    const int64_t steps = std::max(adx, ady);
    const int64_t phase = dot_phase_;
    dot_phase_ = (dot_phase_ + steps) % kDotPeriod;
    if (steps == 0 || bitmap_.Empty()) return;

    const int width = PenWidth();
    const bool dotted = Pen.Style == PenStyle::Dotted && width == 1;
    // The pen square around a centre c covers c + lo .. c + hi.
    const int64_t lo = -(width / 2), hi = lo + width - 1;
    const int64_t W = bitmap_.Width(), H = bitmap_.Height();

    // Bresenham along the major axis: step k (0 <= k < steps, the end point excluded) is at
    // major0 + k and minor0 + f(k) in the directions of travel, with
    // f(k) = floor((2ka + b - 1) / 2b), that is k·a/b rounded to nearest, ties toward the
    // start. The closed form lets the loop begin at the first step that can be seen, so a
    // line from far outside costs no more than one across the picture.
    const bool xMajor = adx >= ady;
    const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    const int64_t sMajor = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int64_t sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t a = xMajor ? ady : adx, b = steps;
    const int64_t majorLo = -hi, majorHi = (xMajor ? W : H) - 1 - lo;
    const int64_t minorLo = -hi, minorHi = (xMajor ? H : W) - 1 - lo;

    int64_t k0 = sMajor > 0 ? majorLo - major0 : major0 - majorHi;
    int64_t k1 = sMajor > 0 ? majorHi - major0 : major0 - majorLo;
    k0 = std::max<int64_t>(k0, 0);
    k1 = std::min(k1, steps - 1);
    if (k0 > k1) return;
    const int64_t f0 = sMinor > 0 ? minorLo - minor0 : minor0 - minorHi;
    const int64_t f1 = sMinor > 0 ? minorHi - minor0 : minor0 - minorLo;
    const auto f = [&](int64_t k) { return MulAddDiv(k, 2 * a, b - 1, 2 * b).q; };
    if (f(k1) < f0 || f(k0) > f1) return;
    // f rises by at most one per step, so the steps with f in [f0, f1] form one run.
    for (int64_t l = k0, h = k1; l <= h;) {
        const int64_t mid = l + (h - l) / 2;
        if (f(mid) >= f0) {
            k0 = mid;
            h = mid - 1;
        } else {
            l = mid + 1;
        }
    }
    for (int64_t l = k0, h = k1; l <= h;) {
        const int64_t mid = l + (h - l) / 2;
        if (f(mid) <= f1) {
            k1 = mid;
            l = mid + 1;
        } else {
            h = mid - 1;
        }
    }

    const Bgr colour = ColourOf(Pen.Colour);
    const QuotRem start = MulAddDiv(k0, 2 * a, b - 1, 2 * b);
    int64_t q = start.q, r = start.r;
    const auto advance = [&] {
        r += 2 * a;
        if (r >= 2 * b) {
            r -= 2 * b;
            ++q;
        }
    };

    if (width == 1) {
        for (int64_t k = k0; k <= k1; ++k, advance()) {
            if (dotted && (phase + k) % kDotPeriod >= kDotOn) continue;
            const int64_t major = major0 + sMajor * k, minor = minor0 + sMinor * q;
            if (xMajor) {
                PaintSpan(minor, major, major, colour, Pen.Mode);
            } else {
                PaintSpan(major, minor, minor, colour, Pen.Mode);
            }
        }
        return;
    }

    // A wide line is the union of the pen squares along the path. Centres move at most one
    // pixel per step in each direction, so the squares meeting any one row overlap into a
    // single run: collect each row's run and paint it once, which keeps Xor reversible.
    std::vector<Span> rows(std::size_t(H), Span{std::numeric_limits<int64_t>::max(),
                                                 std::numeric_limits<int64_t>::min()});
    for (int64_t k = k0; k <= k1; ++k, advance()) {
        const int64_t major = major0 + sMajor * k, minor = minor0 + sMinor * q;
        const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        for (int64_t row = std::max<int64_t>(y + lo, 0); row <= std::min(y + hi, H - 1); ++row) {
            Span& s = rows[std::size_t(row)];
            s.a = std::min(s.a, x + lo);
            s.b = std::max(s.b, x + hi);
        }
    }
    for (int64_t row = 0; row < H; ++row) {
        const Span& s = rows[std::size_t(row)];
        if (!s.Empty()) PaintSpan(row, s.a, s.b, colour, Pen.Mode);
    }
}

void Canvas::DottedRing(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    // Walk the outline clockwise from the top-left corner so the pattern runs round it
    // unbroken; each pixel of the ring is visited once.
    struct Run {
        int64_t x, y, dx, dy, length, start;
    };
    const int64_t w = right - left, h = bottom - top;
    std::vector<Run> runs;
    if (h == 1) {
        runs.push_back({left, top, 1, 0, w, 0});
    } else if (w == 1) {
        runs.push_back({left, top, 0, 1, h, 0});
    } else {
        runs.push_back({left, top, 1, 0, w, 0});
        runs.push_back({right - 1, top + 1, 0, 1, h - 1, w});
        runs.push_back({right - 2, bottom - 1, -1, 0, w - 1, w + h - 1});
        runs.push_back({left, bottom - 2, 0, -1, h - 2, 2 * w + h - 2});
    }
    const Bgr colour = ColourOf(Pen.Colour);
    const int64_t W = bitmap_.Width(), H = bitmap_.Height();
    for (const Run& run : runs) {
        // Restrict i to the steps that stay inside the bitmap along the moving axis; the
        // fixed axis is checked by PaintSpan.
        const bool horizontal = run.dy == 0;
        const int64_t c0 = horizontal ? run.x : run.y, s = horizontal ? run.dx : run.dy;
        const int64_t n = horizontal ? W : H;
        int64_t i0 = s > 0 ? -c0 : c0 - (n - 1);
        int64_t i1 = s > 0 ? n - 1 - c0 : c0;
        i0 = std::max<int64_t>(i0, 0);
        i1 = std::min(i1, run.length - 1);
        for (int64_t i = i0; i <= i1; ++i) {
            if ((run.start + i) % kDotPeriod >= kDotOn) continue;
            const int64_t x = run.x + run.dx * i, y = run.y + run.dy * i;
            PaintSpan(y, x, x, colour, Pen.Mode);
        }
    }
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
    const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    if (left == right || top == bottom || bitmap_.Empty()) return;

    const int64_t band = std::min<int64_t>(PenWidth(), (std::min(right - left, bottom - top) + 1) / 2);
    const int64_t innerLeft = left + band, innerRight = right - band;
    const int64_t innerTop = top + band, innerBottom = bottom - band;
    const bool hasInner = innerLeft < innerRight && innerTop < innerBottom;
    const int64_t firstRow = std::max<int64_t>(top, 0);
    const int64_t endRow = std::min<int64_t>(bottom, bitmap_.Height());

    if (Pen.Style == PenStyle::Dotted && PenWidth() == 1) {
        DottedRing(left, top, right, bottom);
    } else {
        const Bgr pen = ColourOf(Pen.Colour);
        for (int64_t y = firstRow; y < endRow; ++y) {
            if (hasInner && y >= innerTop && y < innerBottom) {
                PaintSpan(y, left, innerLeft - 1, pen, Pen.Mode);
                PaintSpan(y, innerRight, right - 1, pen, Pen.Mode);
            } else {
                PaintSpan(y, left, right - 1, pen, Pen.Mode);
            }
        }
    }
    if (hasInner && Brush.Style == BrushStyle::Solid) {
        const Bgr fill = ColourOf(Brush.Colour);
        for (int64_t y = std::max(firstRow, innerTop); y < std::min(endRow, innerBottom); ++y) {
            PaintSpan(y, innerLeft, innerRight - 1, fill, Pen.Mode);
        }
    }
    bitmap_.Touch();
}

void Canvas::Ellipse(int x1, int y1, int x2, int y2) {
    const EllipseBox outer{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    if (outer.Empty() || bitmap_.Empty()) return;

    // A wider pen is the ring between the box's ellipse and the interior of the ellipse
    // inscribed in the box shrunk by width - 1 on every side; that interior is the fill.
    const int64_t inset = PenWidth() - 1;
    const EllipseBox inner{outer.left + inset, outer.top + inset, outer.right - inset, outer.bottom - inset};
    const Bgr pen = ColourOf(Pen.Colour), fill = ColourOf(Brush.Colour);
    const bool filled = Brush.Style == BrushStyle::Solid;
    const int64_t endRow = std::min<int64_t>(outer.bottom, bitmap_.Height());
    for (int64_t y = std::max<int64_t>(outer.top, 0); y < endRow; ++y) {
        const Span row = outer.Row(y);
        Span in = inner.Empty() ? Span{} : inner.Interior(y);
        in.a = std::max(in.a, row.a);
        in.b = std::min(in.b, row.b);
        if (in.Empty()) {
            PaintSpan(y, row.a, row.b, pen, Pen.Mode);
            continue;
        }
        PaintSpan(y, row.a, in.a - 1, pen, Pen.Mode);
        PaintSpan(y, in.b + 1, row.b, pen, Pen.Mode);
        if (filled) PaintSpan(y, in.a, in.b, fill, Pen.Mode);
    }
    bitmap_.Touch();
}

void Canvas::FillRect(const PixelRect& r) {
    if (Brush.Style == BrushStyle::Clear) return;
    const int64_t left = std::min(r.left, r.right), right = std::max(r.left, r.right);
    const int64_t top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
    const Bgr fill = ColourOf(Brush.Colour);
    const int64_t endRow = std::min<int64_t>(bottom, bitmap_.Height());
    for (int64_t y = std::max<int64_t>(top, 0); y < endRow; ++y) {
        PaintSpan(y, left, right - 1, fill, PenMode::Copy);
    }
    bitmap_.Touch();
}

void Canvas::FrameRect(const PixelRect& r) {
    if (Brush.Style == BrushStyle::Clear) return;
    const int64_t left = std::min(r.left, r.right), right = std::max(r.left, r.right);
    const int64_t top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
    if (left == right || top == bottom) return;
    const Bgr colour = ColourOf(Brush.Colour);
    const int64_t endRow = std::min<int64_t>(bottom, bitmap_.Height());
    for (int64_t y = std::max<int64_t>(top, 0); y < endRow; ++y) {
        if (y == top || y == bottom - 1) {
            PaintSpan(y, left, right - 1, colour, PenMode::Copy);
        } else {
            PaintSpan(y, left, left, colour, PenMode::Copy);
            PaintSpan(y, right - 1, right - 1, colour, PenMode::Copy);
        }
    }
    bitmap_.Touch();
}

uint32_t Canvas::Pixel(int x, int y) const {
    return bitmap_.Contains(x, y) ? RgbOf(bitmap_.Pixel(x, y)) : kOutside;
}

void Canvas::SetPixel(int x, int y, uint32_t colour) {
    if (!bitmap_.Contains(x, y)) return;
    bitmap_.SetPixel(x, y, ColourOf(colour));
    bitmap_.Touch();
}

int Canvas::TextWidth(std::string_view utf8) const {
    const int64_t width = int64_t(BitmapFont::CharacterCount(utf8)) * BitmapFont::kCellWidth * FontScale();
    return int(std::min<int64_t>(width, std::numeric_limits<int>::max()));
}

int Canvas::TextHeight() const { return BitmapFont::kCellHeight * FontScale(); }

void Canvas::TextOut(int x, int y, std::string_view utf8) {
    if (utf8.empty() || bitmap_.Empty()) return;
    const int scale = FontScale();
    const int64_t cellWidth = int64_t(BitmapFont::kCellWidth) * scale;
    const int64_t W = bitmap_.Width(), H = bitmap_.Height();
    if (int64_t(y) + TextHeight() <= 0 || y >= H) return;

    if (Font.Background == TextBackground::Opaque) {
        const int64_t right = x + int64_t(BitmapFont::CharacterCount(utf8)) * cellWidth;
        const Bgr back = ColourOf(Brush.Colour);
        for (int64_t row = y; row < int64_t(y) + TextHeight(); ++row) {
            PaintSpan(row, x, right - 1, back, PenMode::Copy);
        }
    }

    const Bgr ink = ColourOf(Font.Colour.value_or(Pen.Colour));
    int64_t cellLeft = x;
    for (std::size_t pos = 0; pos < utf8.size() && cellLeft < W; cellLeft += cellWidth) {
        const char32_t code = BitmapFont::NextCodePoint(utf8, pos);
        if (cellLeft + cellWidth <= 0) continue;
        const BitmapFont::Rows& glyph = BitmapFont::Glyph(code);
        for (int r = 0; r < BitmapFont::kCellHeight; ++r) {
            for (int c = 0; c < BitmapFont::kCellWidth; ++c) {
                if (!BitmapFont::Ink(glyph[r], c)) continue;
                const int64_t px = cellLeft + int64_t(c) * scale;
                for (int s = 0; s < scale; ++s) {
                    PaintSpan(int64_t(y) + int64_t(r) * scale + s, px, px + scale - 1, ink, PenMode::Copy);
                }
            }
        }
    }
    bitmap_.Touch();
}

void Canvas::StretchDraw(const PixelRect& dest, const Bitmap24& src) {
    if (&src == &bitmap_) {
        // Drawing a picture onto itself would read pixels already overwritten.
        const Bitmap24 copy = src;
        StretchDraw(dest, copy);
        return;
    }
    if (src.Empty() || bitmap_.Empty() || dest.right <= dest.left || dest.bottom <= dest.top) return;
    const int64_t destWidth = int64_t(dest.right) - dest.left, destHeight = int64_t(dest.bottom) - dest.top;
    const int64_t x0 = std::max(dest.left, 0), x1 = std::min(dest.right, bitmap_.Width());
    const int64_t y0 = std::max(dest.top, 0), y1 = std::min(dest.bottom, bitmap_.Height());
    if (x0 >= x1 || y0 >= y1) return;

    // Source column under the centre of destination column x: floor((x + 1/2) · sw / dw).
    std::vector<int> columns(std::size_t(x1 - x0));
    for (int64_t x = x0; x < x1; ++x) {
        const QuotRem sx = MulAddDiv(2 * (x - dest.left) + 1, src.Width(), 0, 2 * destWidth);
        columns[std::size_t(x - x0)] = int(sx.q);
    }
    for (int64_t y = y0; y < y1; ++y) {
        const int sy = int(MulAddDiv(2 * (y - dest.top) + 1, src.Height(), 0, 2 * destHeight).q);
        const uint8_t* from = src.Row(sy);
        uint8_t* to = bitmap_.Row(int(y)) + 3 * x0;
        for (const int sx : columns) {
            const uint8_t* p = from + 3 * sx;
            to[0] = p[0];
            to[1] = p[1];
            to[2] = p[2];
            to += 3;
        }
    }
    bitmap_.Touch();
}

}  // namespace talvenor
