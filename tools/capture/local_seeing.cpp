#include "capture/local_seeing.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <string>
#include <thread>

#include "capture/lanes.h"
#include "capture/prng.h"
#include "capture/random_field.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

// Streams of the renderer's seed; each is indexed by the frame.
enum : uint64_t { kDistortX = 1, kDistortY = 2, kPatches = 3 };

// Blur ratio between neighbouring levels: two Gaussians this close blend into a profile
// within 2 % (of its peak) of the Gaussian of the same variance.
constexpr double kLevelRatio = 1.25;
constexpr int kMaxLevels = 64;
// The frame is worked in strips kCell pixels wide, each cut into kCell x kCell cells: a level
// is blurred for the runs of cells down the strip that read it (a run shares the blur's
// reach above and below), and a small cell spans only two or three levels of the blur field.
constexpr int kCell = 32;
// Strips and fields are independent, so they are shared among threads: hundreds of large
// frames would otherwise keep one core busy for minutes.
constexpr int kMaxWorkers = 8;

// Runs work(i, scratch) for i = 0 .. count - 1 on up to kMaxWorkers threads, each with its
// own Scratch; rethrows the first failure. Each i must write only its own part of the result,
// so the result never depends on the threads.
template <typename Scratch, typename Work>
void InParallel(int count, const Work& work) {
    const int workers = std::clamp(int(std::thread::hardware_concurrency()), 1, std::min(kMaxWorkers, count));
    std::atomic<int> next{0};
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(std::max(workers, 1)));
    auto run = [&](int worker) {
        try {
            Scratch scratch;
            for (int i = next++; i < count; i = next++) work(i, scratch);
        } catch (...) {
            errors[std::size_t(worker)] = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; ++i) threads.emplace_back(run, i);
    run(0);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

// Where a displaced pixel reads the levels: the top-left of its 4 x 4 neighbourhood in the
// strip's region and the Catmull-Rom weights along each axis.
struct Sample {
    Lanes wx;
    float wy[4];
    int offset;
};

Lanes CatmullRom(float f) {
    const float f2 = f * f, f3 = f2 * f;
    return Lanes{-0.5f * f3 + f2 - 0.5f * f, 1.5f * f3 - 2.5f * f2 + 1.f, -1.5f * f3 + 2.f * f2 + 0.5f * f,
                 0.5f * f3 - 0.5f * f2};
}

// The blend a + t (b - a) of two levels at a displaced pixel (b unread when t is 0).
inline float Interpolate(const float* a, const float* b, float t, const Sample& s, int stride) {
    const float* pa = a + s.offset;
    Lanes sum = {};
    if (t > 0.f) {
        const float* pb = b + s.offset;
        for (int j = 0; j < 4; ++j, pa += stride, pb += stride) {
            const Lanes ra = LoadLanes(pa);
            sum += s.wy[j] * (ra + t * (LoadLanes(pb) - ra));
        }
    } else {
        for (int j = 0; j < 4; ++j, pa += stride) sum += s.wy[j] * LoadLanes(pa);
    }
    return SumLanes(sum * s.wx);
}

// The levels of one frame: level i blurs by the frame's sigma times exp(lo + i step).
struct Levels {
    double patchiness = 0;
    double lo = 0, step = 0;
    int count = 1;
};

// One frame's work, shared read-only by the threads (each writes only its own strip of `out`).
struct FrameWork {
    const Scene& scene;
    const LocalFields& fields;
    const Levels& levels;
    const std::vector<SeparableBlur>& blurs;
    int index;
    FloatImage& out;
};

// A thread's scratch space.
struct StripScratch {
    std::vector<uint8_t> level;              // per strip pixel: the lower of the two levels it blends
    std::vector<float> blend;                // per strip pixel: the weight of the upper one
    std::vector<int> first, last;            // per cell: the levels it reads
    std::vector<std::vector<float>> images;  // the strip's region at each level it reads
    std::vector<float> rows;
    std::vector<Sample> samples;
};

// The strip of columns sx .. sx + kCell - 1 (fewer at the right edge of the frame).
void RenderStrip(const FrameWork& f, int sx, StripScratch& scratch) {
    const Scene& s = f.scene;
    const int w = s.width, h = s.height, sw = std::min(kCell, w - sx), cells = (h + kCell - 1) / kCell;
    const std::size_t pixels = std::size_t(sw) * std::size_t(h);
    const bool distort = !f.fields.u.empty();
    auto frameIndex = [&](int x, int y) { return std::size_t(y) * std::size_t(w) + std::size_t(sx + x); };

    // Each pixel's two levels. Mixing Gaussians a and b with weight t on b gives a profile of
    // variance (1 - t) a^2 + t b^2: t makes that the pixel's own sigma^2.
    scratch.level.assign(pixels, 0);
    scratch.blend.assign(pixels, 0.f);
    const Levels& lv = f.levels;
    if (lv.count > 1) {
        const float p = float(lv.patchiness), lo = float(lv.lo), step = float(lv.step);
        const float spread = float(std::exp(2 * lv.step) - 1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < sw; ++x) {
                const float logBlur = p * f.fields.g[frameIndex(x, y)];
                const int i = std::clamp(int(std::floor((logBlur - lo) / step)), 0, lv.count - 2);
                const std::size_t at = std::size_t(y) * std::size_t(sw) + std::size_t(x);
                scratch.level[at] = uint8_t(i);
                const float above = logBlur - lo - step * float(i);  // log of its blur over level i's
                scratch.blend[at] = std::clamp((std::exp(2.f * above) - 1.f) / spread, 0.f, 1.f);
            }
    }

    scratch.first.assign(std::size_t(cells), kMaxLevels);
    scratch.last.assign(std::size_t(cells), 0);
    int lowest = kMaxLevels, highest = 0;
    float reach = 0.f;
    for (int y = 0; y < h; ++y) {
        const std::size_t row = std::size_t(y) * std::size_t(sw);
        int& first = scratch.first[std::size_t(y / kCell)];
        int& last = scratch.last[std::size_t(y / kCell)];
        int rowFirst = kMaxLevels, rowLast = 0;
        for (std::size_t at = row; at < row + std::size_t(sw); ++at) {
            rowFirst = std::min(rowFirst, int(scratch.level[at]));
            rowLast = std::max(rowLast, int(scratch.level[at]) + (scratch.blend[at] > 0.f));
        }
        first = std::min(first, rowFirst);
        last = std::max(last, rowLast);
        lowest = std::min(lowest, rowFirst);
        highest = std::max(highest, rowLast);
        if (distort)
            for (int x = 0; x < sw; ++x) {
                const std::size_t q = frameIndex(x, y);
                reach = std::max({reach, std::fabs(f.fields.u[q]), std::fabs(f.fields.v[q])});
            }
    }

    // The region of the levels the strip reads: the strip itself, or with the warp the strip
    // grown by its largest displacement and the interpolator's reach. Region row r is frame
    // row r - pad.
    const int pad = distort ? int(std::ceil(reach)) + 2 : 0;
    const int rx = sx - pad, rw = sw + 2 * pad, rh = h + 2 * pad;
    if (distort) {
        scratch.samples.resize(pixels);
        Sample* sample = scratch.samples.data();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < sw; ++x, ++sample) {
                const std::size_t q = frameIndex(x, y);
                const float px = float(x + pad) - f.fields.u[q], py = float(y + pad) - f.fields.v[q];
                const float bx = std::floor(px), by = std::floor(py);
                sample->offset = (int(by) - 1) * rw + int(bx) - 1;
                sample->wx = CatmullRom(px - bx);
                const Lanes wy = CatmullRom(py - by);
                for (int j = 0; j < 4; ++j) sample->wy[j] = wy[j];
            }
    }
    const std::size_t used = std::size_t(highest - lowest + 1);
    if (scratch.images.size() < used) scratch.images.resize(used);
    for (std::size_t i = 0; i < used; ++i) scratch.images[i].resize(std::size_t(rw) * std::size_t(rh));
    auto reads = [&](int cell, int l) {
        return scratch.first[std::size_t(cell)] <= l && l <= scratch.last[std::size_t(cell)];
    };

    for (int c = 0; c < s.channels; ++c) {
        for (int l = lowest; l <= highest; ++l)
            for (int cell = 0; cell < cells; ++cell) {
                if (!reads(cell, l)) continue;
                int end = cell + 1;
                while (end < cells && reads(end, l)) ++end;
                const int y0 = cell * kCell - pad, y1 = std::min(h, end * kCell) + pad;  // frame rows
                float* image = scratch.images[std::size_t(l - lowest)].data() + std::size_t(y0 + pad) * std::size_t(rw);
                if (!f.blurs[std::size_t(l)].Render(s, c, rx, y0, rw, y1 - y0, scratch.rows, image))
                    throw Error("frame " + std::to_string(f.index) + " moves beyond the scene margin of " +
                                std::to_string(s.margin) + " pixels");
                cell = end - 1;
            }
        float* plane = f.out.Plane(c);
        const Sample* sample = scratch.samples.data();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < sw; ++x) {
                const std::size_t at = std::size_t(y) * std::size_t(sw) + std::size_t(x);
                const std::size_t i = std::size_t(scratch.level[at] - lowest);
                const float t = scratch.blend[at];
                const float* a = scratch.images[i].data();
                const float* b = t > 0.f ? scratch.images[i + 1].data() : a;
                float v;
                if (distort) {
                    v = Interpolate(a, b, t, *sample++, rw);
                } else {
                    const std::size_t r = std::size_t(y) * std::size_t(rw) + std::size_t(x);
                    v = a[r] + t * (b[r] - a[r]);
                }
                plane[frameIndex(x, y)] = v;
            }
    }
}

struct NoScratch {};

}  // namespace

LocalSeeing LocalSeeingFor(double distortion, double patchiness, double objectSize) {
    LocalSeeing local;
    local.distortion = distortion;
    local.patchiness = patchiness;
    local.distortionLength = std::max(2.0, objectSize / 8);
    local.patchLength = std::max(2.0, objectSize / 3);
    return local;
}

int LocalSeeingMargin(const std::vector<FrameTruth>& plan, const LocalSeeing& local) {
    int margin = MarginFor(plan);
    const double reach = local.distortion * kFieldClip, widen = std::exp(local.patchiness * kFieldClip);
    for (const FrameTruth& t : plan) {
        const double shift = std::max(std::fabs(t.dx), std::fabs(t.dy));
        const double widest = std::max({t.sigma, t.sigmaX, t.sigmaY}) * widen;
        // A strip's region reaches 2 pixels beyond its largest displacement (the interpolator's
        // taps); a few more cover rounding in the float fields and the level factors.
        margin = std::max(margin, int(std::ceil(shift + reach)) + KernelRadius(widest) + 5);
    }
    return margin;
}

LocalSeeingRenderer::LocalSeeingRenderer(const Scene& scene, const LocalSeeing& local, uint64_t seed)
    : scene_(scene), local_(local), seed_(seed) {}

void LocalSeeingRenderer::Fields(int index, LocalFields& out) const {
    struct Field {
        uint64_t stream;
        double length, scale;  // scale: the rms, 0 for a field left out
        std::vector<float>* values;
    };
    const Field fields[] = {{kDistortX, local_.distortionLength, local_.distortion, &out.u},
                            {kDistortY, local_.distortionLength, local_.distortion, &out.v},
                            {kPatches, local_.patchLength, local_.patchiness > 0 ? 1.0 : 0.0, &out.g}};
    InParallel<NoScratch>(3, [&](int i, NoScratch&) {
        const Field& f = fields[i];
        if (f.scale <= 0) {
            f.values->clear();
            return;
        }
        SmoothRandomField(scene_.width, scene_.height, f.length, SubSeed(seed_, f.stream, uint64_t(index)), *f.values,
                          f.scale);
    });
}

void LocalSeeingRenderer::Render(int index, const FrameTruth& truth, FloatImage& out) {
    const Scene& s = scene_;
    out.Allocate(s.width, s.height, s.channels);
    Fields(index, fields_);

    // Levels spread geometrically over the blurs this frame's field reaches.
    Levels levels;
    if (!fields_.g.empty()) {
        const auto [low, high] = std::minmax_element(fields_.g.begin(), fields_.g.end());
        levels.patchiness = local_.patchiness;
        levels.lo = local_.patchiness * *low;
        const double range = local_.patchiness * (*high - *low);
        if (range > 0) {
            levels.count = std::clamp(int(std::ceil(range / std::log(kLevelRatio))) + 1, 2, kMaxLevels);
            levels.step = range / (levels.count - 1);
        }
    }
    const bool axes = truth.sigmaX > 0 || truth.sigmaY > 0;
    const double sigmaX = axes ? truth.sigmaX : truth.sigma, sigmaY = axes ? truth.sigmaY : truth.sigma;
    std::vector<SeparableBlur> blurs;
    blurs.reserve(std::size_t(levels.count));
    for (int i = 0; i < levels.count; ++i) {
        const double f = levels.count > 1 ? std::exp(levels.lo + levels.step * i) : 1.0;
        blurs.emplace_back(sigmaX * f, sigmaY * f, truth.dx, truth.dy, truth.gain);
    }

    const FrameWork work{s, fields_, levels, blurs, index, out};
    InParallel<StripScratch>((s.width + kCell - 1) / kCell,
                             [&](int strip, StripScratch& scratch) { RenderStrip(work, strip * kCell, scratch); });
}

}  // namespace talvenor::capture
