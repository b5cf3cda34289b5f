#pragma once
// Drawing on a Bitmap24. Every graph, overlay, rubber-band outline and caption the program
// shows is painted here, so a headless run and a test see exactly the pixels a user sees.
//
// The conventions are those of the classic GUI canvases that drawing code of this kind is
// written against, because the figures in the program are specified in their terms:
// - LineTo paints from the pen position up to, but not including, its end point, so the
//   segments of a polyline share vertices without painting them twice;
// - Rectangle and Ellipse take a bounding box whose right and bottom edges are exclusive;
// - the exclusive-or pen combines its colour with each pixel (white inverts), so drawing
//   the same figure a second time restores the picture exactly: that is how outlines that
//   follow the mouse are drawn and erased without keeping a copy of the picture.
//
// Every operation clips to the bitmap. Coordinates anywhere in the int range are valid,
// a figure far outside costs no more than one across the picture, and an empty bitmap is
// simply never written.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "workspace/bitmap24.h"

namespace talvenor {

struct PixelPoint {
    int x = 0, y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// Right and bottom are exclusive: the rectangle (0, 0, 3, 2) covers 3 × 2 pixels.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class PenStyle { Solid, Dotted };
enum class PenMode { Copy, Xor };
enum class BrushStyle { Solid, Clear };
enum class TextBackground { Transparent, Opaque };

// The pen draws lines and the outlines of rectangles and ellipses. Its mode also governs
// the brush fill of those shapes, so a filled figure drawn twice in Xor mode vanishes too.
// A dotted pen paints two pixels and skips two; like the classic styled pens it is dotted
// only at width 1 and draws wider lines solid. Ellipse outlines are always solid.
// Wider pens (up to 1000) are square: a line of width w is w pixels across along both
// axes, and the outline of a rectangle or ellipse grows inwards so a shape never leaves
// its box.
struct CanvasPen {
    uint32_t Colour = 0x000000;
    int Width = 1;
    PenStyle Style = PenStyle::Solid;
    PenMode Mode = PenMode::Copy;
};

// The brush fills the inside of Rectangle and Ellipse, and is what FillRect and FrameRect
// paint with. A Clear brush paints nothing.
struct CanvasBrush {
    uint32_t Colour = 0xFFFFFF;
    BrushStyle Style = BrushStyle::Solid;
};

// Text uses the built-in bitmap font, magnified by Scale (1 to 4). Without a colour of its
// own it takes the pen colour, so "write it with a red pen" needs no second setting. An
// Opaque background fills the text's whole box with the brush colour first.
struct CanvasFont {
    std::optional<uint32_t> Colour;
    int Scale = 1;
    TextBackground Background = TextBackground::Transparent;
};

class Canvas {
public:
    // What Pixel returns outside the bitmap: no 0xRRGGBB colour has bits above 23.
    static constexpr uint32_t kOutside = 0xFFFFFFFF;

    explicit Canvas(Bitmap24& bitmap) : bitmap_(bitmap) {}

    CanvasPen Pen;
    CanvasBrush Brush;
    CanvasFont Font;

    Bitmap24& Target() { return bitmap_; }
    int Width() const { return bitmap_.Width(); }
    int Height() const { return bitmap_.Height(); }

    // MoveTo also restarts the dotted pattern; consecutive LineTo calls continue it, so a
    // curve made of many short segments still looks dotted.
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    PixelPoint PenPos() const { return pos_; }
    // MoveTo the first point, then LineTo each of the others; the last point stays
    // unpainted, so a closed outline (last point = first) paints every vertex once.
    void Polyline(std::span<const PixelPoint> points);

    // The corners may come in either order; an empty box draws nothing.
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const PixelRect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    // The ellipse inscribed in the box; it touches all four sides of it.
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const PixelRect& r) { Ellipse(r.left, r.top, r.right, r.bottom); }

    // Brush-coloured, always copied, whatever the pen mode.
    void FillRect(const PixelRect& r);
    // A one-pixel frame just inside r.
    void FrameRect(const PixelRect& r);

    // 0xRRGGBB, or kOutside. SetPixel copies and ignores points outside.
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t colour);

    // (x, y) is the top-left corner of the text's box, which is TextWidth × TextHeight.
    // Text is always copied, whatever the pen mode.
    void TextOut(int x, int y, std::string_view utf8);
    int TextWidth(std::string_view utf8) const;
    int TextHeight() const;

    // Nearest-neighbour copy of the whole of src scaled onto dest (each destination pixel
    // takes the source pixel under its centre). An empty or inverted dest draws nothing.
    void StretchDraw(const PixelRect& dest, const Bitmap24& src);

private:
    // Paints the pixels x0..x1 (inclusive) of row y, clipped to the bitmap.
    void PaintSpan(int64_t y, int64_t x0, int64_t x1, Bgr colour, PenMode mode);
    void DrawSegment(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
    void DottedRing(int64_t left, int64_t top, int64_t right, int64_t bottom);
    int PenWidth() const;
    int FontScale() const;

    Bitmap24& bitmap_;
    PixelPoint pos_;
    // Pixels stepped since the last MoveTo: the phase of the dotted pattern.
    int64_t dot_phase_ = 0;
};

}  // namespace talvenor
