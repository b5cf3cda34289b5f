#pragma once
// An interpolating uniform cubic B-spline through (x, y) points: the curve the user shapes in
// the gamma window and, later, the hue-dependent curves of the final image. With interpolation
// on (and between 3 and 249 vertices) the control vertices are solved so that the curve passes
// through every point; otherwise the points are the control vertices. Phantom end vertices
// make the curve start at the first point and end at the last.
#include <cstdint>
#include <utility>
#include <vector>

#include "workspace/canvas.h"

namespace talvenor {

class TBSpline {
public:
    TBSpline() { Clear(); }

    // Black pen, no points, capacity 0, interpolation off, resolution 100, points not shown.
    void Clear();

    void AddPoint(float x, float y);
    // The new point becomes point `index` (1 .. PointCount()); throws "Index out of range".
    void InsertPoint(int index, float x, float y);
    // Removes point `index` (1-based); the last one gone, the spline is cleared.
    void DeletePoint(int index);
    // 1-based; outside 1 .. PointCount() they throw "List index out of bounds in
    // TBSpline.FGetPoint. (n)." (".FSetPoint." for setting).
    std::pair<float, float> GetPoint(int index) const;
    void SetPoint(int index, float x, float y);
    // A corner point counts as three coincident vertices (the curve has a kink there).
    bool Corner(int index) const;
    void SetCorner(int index, bool corner);

    int PointCount() const { return int(points_.size()); }
    // Grows in steps of 25 points.
    int Capacity() const { return capacity_; }
    bool Interpolate() const { return interpolate_; }
    void SetInterpolate(bool on);
    int Resolution() const { return resolution_; }
    void SetResolution(int segments);  // at most 600
    bool ShowPoints = false;
    uint32_t PenColour = 0x000000;

    // The point of the curve at t in 0 .. 1 ((0, 0) with fewer than two points).
    std::pair<float, float> Value(float t);
    // The vertex count after building (corner points three times), and the bounding box of
    // the vertices (all 1.0 before a build).
    int VertexCount();
    struct Bounds {
        float minX = 1, minY = 1, maxX = 1, maxY = 1;
    };
    Bounds GetBounds();

    // A polyline in the pen colour through Value(i / Resolution()) for i = 0 .. Resolution(),
    // and with ShowPoints a red circle of radius 2 around each point.
    void Draw(Canvas& canvas);

private:
    void Touch() { built_ = false; }
    void EnsureBuilt();
    void Reserve(std::size_t count);
    [[noreturn]] static void IndexError(const char* operation, int index);

    struct Point {
        float x, y;
        bool corner;
    };
    std::vector<Point> points_;
    int capacity_ = 0;
    // Vertices 0 .. m + 1, 0 and m + 1 the phantom ends.
    std::vector<std::pair<float, float>> vertices_;
    int vertexCount_ = 0;
    bool built_ = false;
    bool interpolate_ = false;
    int resolution_ = 100;
    Bounds bounds_;
};

}  // namespace talvenor
