#pragma once
// Enlarging or shrinking a 24-bit picture with a separable filter: a horizontal pass into
// a temporary picture, then a vertical pass into the destination. The stacker uses it for
// resampled stacks, the optimizer for its resampled boxes, the resize window for its picture.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

using FilterFunction = float (*)(float);

struct ResampleFilter {
    std::string_view name;
    FilterFunction function;
    float support;
};

float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float BSplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);
float SinC(float x);

// "Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell".
extern const std::array<ResampleFilter, 7> ResampleFilters;

// The filter a user list index picks: entry index + 3; -1 (no choice) picks Hermite.
const ResampleFilter& FilterForListIndex(int listIndex);

// Source positions and weights for every destination column (or row) of a Stretch from
// `src` to `dst` samples, in flat arrays: list k runs from start[k] to start[k + 1]. Shared
// by every resampler so they all place the samples alike.
struct Contributors {
    std::vector<int32_t> start;
    std::vector<int32_t> index;
    std::vector<float> weight;
};
Contributors MakeContributors(int src, int dst, FilterFunction filter, float support);

// Resamples the whole source into the whole destination, whose current size is the output
// size. Throws talvenor::Error "Source bitmap too small" for an empty source; the destination
// is then left as it was.
void Stretch(const Bitmap24& source, Bitmap24& destination, FilterFunction filter, float support);

}  // namespace talvenor
