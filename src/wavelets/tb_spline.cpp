#include "wavelets/tb_spline.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "workspace/error.h"

namespace talvenor {

namespace {

constexpr int kCapacityStep = 25;
constexpr int kMaxResolution = 600;
// From this many vertices on the points are used as control vertices: solving would cost
// more than the curve is worth.
constexpr int kMaxInterpolatedVertices = 250;

// The uniform cubic B-spline weight of a vertex at distance d (0 from 2 on).
float Weight(float d) {
    if (d < 1) return 2.0f / 3.0f - d * d + d * d * d / 2;
    if (d < 2) {
        const float e = 2 - d;
        return e * e * e / 6;
    }
    return 0;
}

// Solves, by Gaussian elimination without pivoting (forward, then backward), the tridiagonal
// system sub[k] v[k-1] + diag[k] v[k] + super[k] v[k+1] = rhs[k], k = 1 .. m, in place of rhs.
void SolveTridiagonal(std::vector<long double> sub, std::vector<long double> diag, std::vector<long double> super,
                      std::vector<long double>& rhs, int m) {
    for (int k = 2; k <= m; ++k) {
        const long double f = sub[std::size_t(k)] / diag[std::size_t(k) - 1];
        diag[std::size_t(k)] -= f * super[std::size_t(k) - 1];
        rhs[std::size_t(k)] -= f * rhs[std::size_t(k) - 1];
    }
    rhs[std::size_t(m)] /= diag[std::size_t(m)];
    for (int k = m - 1; k >= 1; --k)
        rhs[std::size_t(k)] = (rhs[std::size_t(k)] - super[std::size_t(k)] * rhs[std::size_t(k) + 1]) / diag[std::size_t(k)];
}

}  // namespace

void TBSpline::Clear() {
    PenColour = 0x000000;
    ShowPoints = false;
    points_.clear();
    points_.shrink_to_fit();
    capacity_ = 0;
    vertices_.clear();
    vertexCount_ = 0;
    built_ = false;
    interpolate_ = false;
    resolution_ = 100;
    bounds_ = Bounds{};
}

void TBSpline::IndexError(const char* operation, int index) {
    throw Error("List index out of bounds in TBSpline." + std::string(operation) + ". (" + std::to_string(index) + ").");
}

void TBSpline::Reserve(std::size_t count) {
    while (std::size_t(capacity_) < count) capacity_ += kCapacityStep;
    points_.reserve(std::size_t(capacity_));
}

void TBSpline::AddPoint(float x, float y) {
    Reserve(points_.size() + 1);
    points_.push_back({x, y, false});
    Touch();
}

void TBSpline::InsertPoint(int index, float x, float y) {
    if (index < 1 || index > PointCount()) throw Error("Index out of range");
    Reserve(points_.size() + 1);
    points_.insert(points_.begin() + (index - 1), Point{x, y, false});
    Touch();
}

void TBSpline::DeletePoint(int index) {
    if (index < 1 || index > PointCount()) IndexError("FDeletePoint", index);
    points_.erase(points_.begin() + (index - 1));
    if (points_.empty()) {
        Clear();
        return;
    }
    Touch();
}

std::pair<float, float> TBSpline::GetPoint(int index) const {
    if (index < 1 || index > PointCount()) IndexError("FGetPoint", index);
    const Point& p = points_[std::size_t(index) - 1];
    return {p.x, p.y};
}

void TBSpline::SetPoint(int index, float x, float y) {
    if (index < 1 || index > PointCount()) IndexError("FSetPoint", index);
    points_[std::size_t(index) - 1].x = x;
    points_[std::size_t(index) - 1].y = y;
    Touch();
}

bool TBSpline::Corner(int index) const {
    if (index < 1 || index > PointCount()) IndexError("FGetCorner", index);
    return points_[std::size_t(index) - 1].corner;
}

void TBSpline::SetCorner(int index, bool corner) {
    if (index < 1 || index > PointCount()) IndexError("FSetCorner", index);
    points_[std::size_t(index) - 1].corner = corner;
    Touch();
}

void TBSpline::SetInterpolate(bool on) {
    if (interpolate_ != on) Touch();
    interpolate_ = on;
}

void TBSpline::SetResolution(int segments) { resolution_ = std::clamp(segments, 1, kMaxResolution); }

void TBSpline::EnsureBuilt() {
    if (built_ || points_.size() < 2) return;
    // 1. The vertices: each point once, a corner point three times.
    std::vector<std::pair<float, float>> v(1);
    std::vector<bool> cornerRow(1, false);
    for (const Point& p : points_) {
        for (int k = 0; k < (p.corner ? 3 : 1); ++k) {
            v.emplace_back(p.x, p.y);
            cornerRow.push_back(p.corner);
        }
    }
    const int m = int(v.size()) - 1;
    v.emplace_back(0.0f, 0.0f);
    bounds_ = Bounds{v[1].first, v[1].second, v[1].first, v[1].second};
    for (int k = 1; k <= m; ++k) {
        bounds_.minX = std::min(bounds_.minX, v[std::size_t(k)].first);
        bounds_.maxX = std::max(bounds_.maxX, v[std::size_t(k)].first);
        bounds_.minY = std::min(bounds_.minY, v[std::size_t(k)].second);
        bounds_.maxY = std::max(bounds_.maxY, v[std::size_t(k)].second);
    }

    // 2. Interpolation: V[k-1]/6 + 2 V[k]/3 + V[k+1]/6 = P[k] inside, identity rows at the ends
    //    and at corner vertices.
    if (interpolate_ && m >= 3 && m < kMaxInterpolatedVertices) {
        std::vector<long double> sub(std::size_t(m) + 1, 0), diag(std::size_t(m) + 1, 1), super(std::size_t(m) + 1, 0);
        for (int k = 2; k < m; ++k) {
            if (cornerRow[std::size_t(k)]) continue;
            sub[std::size_t(k)] = 1.0L / 6;
            diag[std::size_t(k)] = 2.0L / 3;
            super[std::size_t(k)] = 1.0L / 6;
        }
        std::vector<long double> xs(std::size_t(m) + 1), ys(std::size_t(m) + 1);
        for (int k = 1; k <= m; ++k) {
            xs[std::size_t(k)] = v[std::size_t(k)].first;
            ys[std::size_t(k)] = v[std::size_t(k)].second;
        }
        SolveTridiagonal(sub, diag, super, xs, m);
        SolveTridiagonal(sub, diag, super, ys, m);
        for (int k = 1; k <= m; ++k) v[std::size_t(k)] = {float(xs[std::size_t(k)]), float(ys[std::size_t(k)])};
    }

    // 3. Phantom ends, so the curve starts and ends on the end vertices.
    v[0] = {2 * v[1].first - v[2].first, 2 * v[1].second - v[2].second};
    v[std::size_t(m) + 1] = {2 * v[std::size_t(m)].first - v[std::size_t(m) - 1].first,
                             2 * v[std::size_t(m)].second - v[std::size_t(m) - 1].second};
    vertices_ = std::move(v);
    vertexCount_ = m;
    built_ = true;
}

int TBSpline::VertexCount() {
    EnsureBuilt();
    return built_ ? vertexCount_ : 0;
}

TBSpline::Bounds TBSpline::GetBounds() {
    EnsureBuilt();
    return bounds_;
}

std::pair<float, float> TBSpline::Value(float t) {
    EnsureBuilt();
    if (!built_) return {0.0f, 0.0f};
    const int m = vertexCount_;
    const float u = float(t * float(m - 1) + 1);
    const int e = std::max(0, int(std::trunc(u - 1)));
    float x = 0, y = 0;
    for (int i = std::min(e, m + 1); i <= std::min(e + 3, m + 1); ++i) {
        const float d = std::fabs(float(i) - u);
        if (d >= 2) continue;
        const float w = Weight(d);
        x += w * vertices_[std::size_t(i)].first;
        y += w * vertices_[std::size_t(i)].second;
    }
    return {x, y};
}

void TBSpline::Draw(Canvas& canvas) {
    if (PointCount() < 2) return;
    canvas.Pen.Colour = PenColour;
    const int n = resolution_;
    for (int i = 0; i <= n; ++i) {
        const auto [x, y] = Value(float(i) / float(n));
        const int px = int(std::nearbyint(x)), py = int(std::nearbyint(y));
        if (i == 0)
            canvas.MoveTo(px, py);
        else
            canvas.LineTo(px, py);
    }
    if (!ShowPoints) return;
    canvas.Pen.Colour = 0xFF0000;
    canvas.Brush.Style = BrushStyle::Clear;
    for (const Point& p : points_) {
        const int px = int(std::nearbyint(p.x)), py = int(std::nearbyint(p.y));
        canvas.Ellipse(px - 2, py - 2, px + 3, py + 3);
    }
}

}  // namespace talvenor
