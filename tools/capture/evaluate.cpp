#include "capture/evaluate.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "capture/image_reading.h"
#include "capture/image_shift.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor::capture {

namespace fs = std::filesystem;

namespace {

// A CSV with a header line: the values of each row by column name.
class CsvTable {
public:
    CsvTable(std::string_view text, const std::string& name) : name_(name) {
        std::istringstream in{std::string(text)};
        std::string line;
        bool header = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (Trim(line).empty()) continue;
            std::vector<std::string> fields;
            std::istringstream parts(line);
            for (std::string f; std::getline(parts, f, ',');) fields.push_back(std::string(Trim(f)));
            if (header) {
                for (std::size_t i = 0; i < fields.size(); ++i) columns_[fields[i]] = i;
                header = false;
            } else {
                rows_.push_back(std::move(fields));
            }
        }
        if (header) throw Error(name_ + ": empty, no header line");
    }

    bool Has(const std::string& column) const { return columns_.count(column) != 0; }
    std::size_t Rows() const { return rows_.size(); }

    double Number(std::size_t row, const std::string& column) const {
        const auto at = columns_.find(column);
        if (at == columns_.end()) throw Error(name_ + ": no column '" + column + "'");
        const auto& fields = rows_[row];
        const auto v = at->second < fields.size() ? ParseNumber(fields[at->second]) : std::nullopt;
        if (!v) throw Error(name_ + ": row " + std::to_string(row + 2) + " has no number in column '" + column + "'");
        return *v;
    }

private:
    std::string name_;
    std::map<std::string, std::size_t> columns_;
    std::vector<std::vector<std::string>> rows_;
};

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error(file.string() + ": cannot be read");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int LargestShift(const std::vector<FrameTruth>& frames) {
    double most = 0;
    for (const FrameTruth& t : frames) most = std::max({most, std::fabs(t.dx), std::fabs(t.dy)});
    return int(std::ceil(most));
}

// Residual of the least-squares fit t = a r + b over the chosen pixels.
double FitResidual(const float* t, const float* r, const std::vector<std::size_t>& pixels) {
    double st = 0, sr = 0, stt = 0, srr = 0, str = 0;
    for (std::size_t i : pixels) {
        const double p = t[i], q = r[i];
        st += p;
        sr += q;
        stt += p * p;
        srr += q * q;
        str += p * q;
    }
    const double n = double(pixels.size());
    const double vt = stt - st * st / n, vr = srr - sr * sr / n, c = str - st * sr / n;
    const double residual = vr > 0 ? vt - c * c / vr : vt;
    return std::max(0.0, residual);
}

// The error of comparing `result` with the truth moved by (dx, dy), summed over the channel
// pairs, and the number of values compared.
class Comparison {
public:
    Comparison(const FloatImage& result, const FloatImage& truth, const std::vector<uint8_t>& mask, int shiftX,
               int shiftY)
        : truth_(truth) {
        const int w = truth.width, h = truth.height;
        // The pixel set stays the same for every sub-pixel shift tried: the mask moved by the
        // whole shift, away from the edges where interpolation would run out of picture.
        constexpr int kEdge = 5;
        for (int y = kEdge; y < h - kEdge; ++y)
            for (int x = kEdge; x < w - kEdge; ++x) {
                const int sx = x - shiftX, sy = y - shiftY;
                if (sx < kEdge || sy < kEdge || sx >= w - kEdge || sy >= h - kEdge) continue;
                if (mask[std::size_t(sy) * std::size_t(w) + std::size_t(sx)])
                    pixels_.push_back(std::size_t(y) * std::size_t(w) + std::size_t(x));
            }
        if (pixels_.empty()) throw Error("the result and the truth have no judged area in common");
        if (truth.channels == 3) {
            for (int c = 0; c < 3; ++c) results_.push_back(result.Plane(result.channels == 3 ? c : 0));
        } else {
            luminance_ = LuminanceOf(result);
            results_.push_back(luminance_.data());
        }
    }

    double MeanSquare(double dx, double dy) {
        ShiftImage(truth_, dx, dy, moved_);
        double sum = 0;
        for (std::size_t c = 0; c < results_.size(); ++c) sum += FitResidual(moved_.Plane(int(c)), results_[c], pixels_);
        return sum / (double(pixels_.size()) * double(results_.size()));
    }

    long Pixels() const { return long(pixels_.size()); }

private:
    const FloatImage& truth_;
    std::vector<std::size_t> pixels_;
    std::vector<const float*> results_;
    std::vector<float> luminance_;
    FloatImage moved_;
};

double ToPsnr(double meanSquare) { return meanSquare > 1e-12 ? -10 * std::log10(meanSquare) : 120.0; }

std::vector<double> Ranks(std::span<const double> v) {
    std::vector<std::size_t> order(v.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> rank(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
        const double mean = 0.5 * double(i + j);
        for (std::size_t k = i; k <= j; ++k) rank[order[k]] = mean;
        i = j + 1;
    }
    return rank;
}

}  // namespace

std::vector<FrameTruth> ParseTruthCsv(std::string_view text) {
    const CsvTable csv(text, "truth.csv");
    std::vector<FrameTruth> frames;
    const bool axes = csv.Has("sigma_x") && csv.Has("sigma_y");
    for (std::size_t r = 0; r < csv.Rows(); ++r) {
        const double k = csv.Number(r, "frame");
        if (k < 0 || k > 1e7 || k != std::floor(k)) throw Error("truth.csv: bad frame number in row " + std::to_string(r + 2));
        if (frames.size() <= std::size_t(k)) frames.resize(std::size_t(k) + 1);
        FrameTruth& t = frames[std::size_t(k)];
        t.dx = csv.Number(r, "dx");
        t.dy = csv.Number(r, "dy");
        t.sigma = csv.Number(r, "sigma");
        t.dropped = csv.Number(r, "dropped") != 0;
        t.sigmaX = axes ? csv.Number(r, "sigma_x") : t.sigma;
        t.sigmaY = axes ? csv.Number(r, "sigma_y") : t.sigma;
    }
    return frames;
}

GroundTruth ReadGroundTruth(const fs::path& dir) {
    GroundTruth truth;
    truth.image = ReadFloatImage(dir / "truth.tif");
    truth.frames = ParseTruthCsv(ReadText(dir / "truth.csv"));
    return truth;
}

namespace {

// The mask shrunk by r pixels: a pixel stays when the (2r + 1)^2 square around it lies in the
// mask (separable: along rows, then along columns).
std::vector<uint8_t> ErodedSquare(const std::vector<uint8_t>& mask, int w, int h, int r) {
    if (r <= 0) return mask;
    std::vector<uint8_t> rows(mask.size(), 0), out(mask.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool all = x >= r && x + r < w;
            for (int k = x - r; all && k <= x + r; ++k) all = mask[std::size_t(y) * std::size_t(w) + std::size_t(k)] != 0;
            rows[std::size_t(y) * std::size_t(w) + std::size_t(x)] = all;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool all = y >= r && y + r < h;
            for (int k = y - r; all && k <= y + r; ++k) all = rows[std::size_t(k) * std::size_t(w) + std::size_t(x)] != 0;
            out[std::size_t(y) * std::size_t(w) + std::size_t(x)] = all;
        }
    return out;
}

}  // namespace

std::vector<uint8_t> EvaluationMask(const GroundTruth& truth, MaskKind kind, int border) {
    const FloatImage& im = truth.image;
    const int w = im.width, h = im.height;
    const std::vector<float> lum = LuminanceOf(im);
    const float peak = lum.empty() ? 0.f : *std::max_element(lum.begin(), lum.end());
    const float threshold = float(kDiskFraction) * peak;
    std::vector<uint8_t> mask(lum.size(), 0);
    if (kind == MaskKind::Auto) {
        bool touches = false;
        for (int x = 0; x < w && !touches; ++x)
            touches = lum[std::size_t(x)] > threshold || lum[std::size_t(h - 1) * std::size_t(w) + std::size_t(x)] > threshold;
        for (int y = 0; y < h && !touches; ++y)
            touches = lum[std::size_t(y) * std::size_t(w)] > threshold ||
                      lum[std::size_t(y) * std::size_t(w) + std::size_t(w - 1)] > threshold;
        kind = touches ? MaskKind::Border : MaskKind::Disk;
    }
    if (kind == MaskKind::Disk) {
        for (std::size_t i = 0; i < lum.size(); ++i) mask[i] = lum[i] > threshold;
        return mask;
    }
    if (border < 0) border = std::clamp(LargestShift(truth.frames) + 8, 8, std::min(w, h) / 4);
    for (int y = border; y < h - border; ++y)
        for (int x = border; x < w - border; ++x) mask[std::size_t(y) * std::size_t(w) + std::size_t(x)] = 1;
    return mask;
}

PsnrResult DiskPsnr(const FloatImage& resultIn, const FloatImage& truth, const std::vector<uint8_t>& mask, int reach) {
    const FloatImage result = ReduceToSize(resultIn, truth.width, truth.height);
    const WholeShift whole =
        FindWholeShift(LuminanceOf(result), LuminanceOf(truth), truth.width, truth.height, std::max(1, reach));
    Comparison compare(result, truth, mask, whole.dx, whole.dy);

    // Sub-pixel: from the correlation peak, a parabola through three errors on each axis in
    // turn, with the step halved each round.
    double dx = whole.dx + whole.fracX, dy = whole.dy + whole.fracY;
    double here = compare.MeanSquare(dx, dy);
    double step = 0.25;
    for (int round = 0; round < 4; ++round, step *= 0.5)
        for (int axis = 0; axis < 2; ++axis) {
            double& d = axis == 0 ? dx : dy;
            const double at = d;
            d = at - step;
            const double minus = compare.MeanSquare(dx, dy);
            d = at + step;
            const double plus = compare.MeanSquare(dx, dy);
            const double den = minus - 2 * here + plus;
            double move = 0;
            if (den > 0) move = std::clamp(0.5 * step * (minus - plus) / den, -step, step);
            else move = minus < plus ? -step : step;
            d = at + move;
            const double moved = compare.MeanSquare(dx, dy);
            if (moved <= here) {
                here = moved;
            } else {
                d = at;
            }
        }
    // Registered on the whole mask (the limb pins the position down best), judged inside it.
    PsnrResult out;
    out.dx = dx;
    out.dy = dy;
    out.wholeDx = whole.dx;
    out.wholeDy = whole.dy;
    const DiskJudge judge(truth, mask, out);
    out.psnr = judge.Psnr(result);
    out.pixels = long(judge.Pixels().size());
    return out;
}

DiskJudge::DiskJudge(const FloatImage& truth, const std::vector<uint8_t>& mask, const PsnrResult& where)
    : width_(truth.width), height_(truth.height) {
    const std::vector<uint8_t> interior = ErodedSquare(mask, truth.width, truth.height, kLimbMargin);
    // The same pixels Comparison takes for that whole shift.
    const int w = truth.width, h = truth.height;
    constexpr int kEdge = 5;
    for (int y = kEdge; y < h - kEdge; ++y)
        for (int x = kEdge; x < w - kEdge; ++x) {
            const int sx = x - where.wholeDx, sy = y - where.wholeDy;
            if (sx < kEdge || sy < kEdge || sx >= w - kEdge || sy >= h - kEdge) continue;
            if (interior[std::size_t(sy) * std::size_t(w) + std::size_t(sx)])
                pixels_.push_back(std::size_t(y) * std::size_t(w) + std::size_t(x));
        }
    if (pixels_.empty()) throw Error("the result and the truth have no judged area in common");
    FloatImage moved;
    ShiftImage(truth, where.dx, where.dy, moved);
    for (int c = 0; c < (truth.channels == 3 ? 3 : 1); ++c) {
        std::vector<float>& t = truth_.emplace_back(pixels_.size());
        for (std::size_t i = 0; i < pixels_.size(); ++i) t[i] = moved.Plane(c)[pixels_[i]];
    }
}

DiskJudge::DiskJudge(const GroundTruth& truth, const PsnrResult& where)
    : DiskJudge(truth.image, EvaluationMask(truth), where) {}

double DiskJudge::Psnr(std::span<const float* const> values) const {
    if (values.size() != truth_.size()) throw Error("a result is judged by as many planes as the truth compares");
    std::vector<std::size_t> all(pixels_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    double sum = 0;
    for (std::size_t c = 0; c < truth_.size(); ++c) sum += FitResidual(truth_[c].data(), values[c], all);
    return ToPsnr(sum / (double(pixels_.size()) * double(truth_.size())));
}

double DiskJudge::Psnr(const FloatImage& resultIn) const {
    FloatImage reduced;
    if (resultIn.width != width_ || resultIn.height != height_) reduced = ReduceToSize(resultIn, width_, height_);
    const FloatImage& result = reduced.data.empty() ? resultIn : reduced;
    std::vector<float> luminance;
    if (truth_.size() == 1) luminance = LuminanceOf(result);
    std::vector<std::vector<float>> values;
    std::vector<const float*> planes;
    for (std::size_t c = 0; c < truth_.size(); ++c) {
        const float* plane = truth_.size() == 1 ? luminance.data() : result.Plane(result.channels == 3 ? int(c) : 0);
        std::vector<float>& v = values.emplace_back(pixels_.size());
        for (std::size_t i = 0; i < pixels_.size(); ++i) v[i] = plane[pixels_[i]];
        planes.push_back(v.data());
    }
    return Psnr(planes);
}

PsnrResult DiskPsnr(const FloatImage& result, const GroundTruth& truth) {
    return DiskPsnr(result, truth.image, EvaluationMask(truth), LargestShift(truth.frames) + 16);
}

FloatImage GaussianBlurred(const FloatImage& image, double sigma) {
    if (sigma <= 0) return image;
    const int radius = int(std::ceil(3 * sigma));
    std::vector<double> w(std::size_t(2 * radius + 1));
    double total = 0;
    for (int k = -radius; k <= radius; ++k) total += w[std::size_t(k + radius)] = std::exp(-0.5 * k * k / (sigma * sigma));
    for (double& v : w) v /= total;
    FloatImage across = image, out = image;
    const int W = image.width, H = image.height;
    for (int c = 0; c < image.channels; ++c) {
        const float* in = image.Plane(c);
        float* mid = across.Plane(c);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                double sum = 0;
                for (int k = -radius; k <= radius; ++k)
                    sum += w[std::size_t(k + radius)] * in[std::size_t(y) * W + std::size_t(std::clamp(x + k, 0, W - 1))];
                mid[std::size_t(y) * W + x] = float(sum);
            }
        float* o = out.Plane(c);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                double sum = 0;
                for (int k = -radius; k <= radius; ++k)
                    sum += w[std::size_t(k + radius)] * mid[std::size_t(std::clamp(y + k, 0, H - 1)) * W + x];
                o[std::size_t(y) * W + x] = float(sum);
            }
    }
    return out;
}

namespace {
// The luminance of one pixel of an image of any channel count.
double LuminanceAt(const FloatImage& image, std::size_t i) {
    if (image.channels < 3) return image.Plane(0)[i];
    return 0.299 * image.Plane(0)[i] + 0.587 * image.Plane(1)[i] + 0.114 * image.Plane(2)[i];
}
double LowPercentile(std::vector<double> v) {
    if (v.empty()) return 0;
    const std::size_t k = v.size() / 100;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
    return v[k];
}
}  // namespace

Background BackgroundOf(const FloatImage& result, const GroundTruth& truth) {
    const PsnrResult where = DiskPsnr(result, truth);
    const int dx = int(std::lrint(where.dx)), dy = int(std::lrint(where.dy));
    const int W = truth.image.width, H = truth.image.height;
    // The disk in the result's place, and each pixel's distance to it (Chebyshev, up to 13).
    std::vector<uint8_t> disk = EvaluationMask(truth, MaskKind::Disk);
    std::vector<int> distance(std::size_t(W) * H, 99);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int sx = x - dx, sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < W && sy < H && disk[std::size_t(sy) * W + sx]) distance[std::size_t(y) * W + x] = 0;
        }
    for (int step = 1; step <= 13; ++step) {
        std::vector<int> next = distance;
        for (int y = 1; y + 1 < H; ++y)
            for (int x = 1; x + 1 < W; ++x) {
                if (distance[std::size_t(y) * W + x] != 99) continue;
                for (int v = -1; v <= 1; ++v)
                    for (int u = -1; u <= 1; ++u)
                        if (distance[std::size_t(y + v) * W + x + u] == step - 1) next[std::size_t(y) * W + x] = step;
            }
        distance.swap(next);
    }
    std::vector<double> sky, limb;
    double ringSum = 0, diskSum = 0;
    long ringCount = 0, diskCount = 0;
    const int border = 8;
    for (int y = border; y < std::min(H, result.height) - border; ++y)
        for (int x = border; x < std::min(W, result.width) - border; ++x) {
            const int d = distance[std::size_t(y) * W + x];
            const double l = LuminanceAt(result, std::size_t(y) * result.width + x);
            if (d >= 1 && d <= 6) limb.push_back(l);
            else if (d == 99) sky.push_back(l);
            if (d >= 1 && d <= kRingWidth) ringSum += l, ++ringCount;
            if (d == 0) diskSum += l, ++diskCount;
        }
    Background b;
    b.skyPixels = long(sky.size());
    b.limbPixels = long(limb.size());
    if (!sky.empty()) {
        double mean = 0, sq = 0;
        for (double v : sky) mean += v;
        mean /= double(sky.size());
        for (double v : sky) sq += (v - mean) * (v - mean);
        b.skyStd = std::sqrt(sq / double(sky.size()));
        if (ringCount > 0 && diskCount > 0 && diskSum / double(diskCount) > mean)
            b.ringShare = (ringSum / double(ringCount) - mean) / (diskSum / double(diskCount) - mean);
    }
    b.skyLow = LowPercentile(sky);
    b.limbLow = LowPercentile(limb);
    return b;
}

BlurMatch EquivalentBlur(const FloatImage& result, const GroundTruth& truth) {
    const std::vector<uint8_t> mask = EvaluationMask(truth);
    const int reach = LargestShift(truth.frames) + 16;
    BlurMatch best;
    best.psnr = -1e9;
    auto tryAt = [&](double sigma) {
        const double psnr = DiskPsnr(result, GaussianBlurred(truth.image, sigma), mask, reach).psnr;
        if (psnr > best.psnr) best = {sigma, psnr};
    };
    // Coarse steps of 0.5, then tenths around the best.
    for (int k = 0; k <= 10; ++k) tryAt(0.5 * k);
    const double centre = best.sigma;
    for (int k = -4; k <= 4; ++k)
        if (k != 0 && centre + 0.1 * k >= 0 && centre + 0.1 * k <= 5) tryAt(std::nearbyint((centre + 0.1 * k) * 10) / 10);
    return best;
}

std::vector<int> SharpestFrames(const std::vector<FrameTruth>& frames, std::size_t count) {
    std::vector<int> order;
    for (std::size_t k = 0; k < frames.size(); ++k)
        if (!frames[k].dropped) order.push_back(int(k));
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return frames[std::size_t(a)].sigma < frames[std::size_t(b)].sigma; });
    if (order.size() > count) order.resize(count);
    return order;
}

BestFrame BestFramePsnr(const FrameReader& frames, const GroundTruth& truth, int candidates) {
    BestFrame best;
    const std::vector<uint8_t> mask = EvaluationMask(truth);
    FloatImage frame;
    for (int k : SharpestFrames(truth.frames, std::size_t(std::max(1, candidates)))) {
        frames(k, frame);
        const FrameTruth& t = truth.frames[std::size_t(k)];
        const int reach = int(std::ceil(std::max(std::fabs(t.dx), std::fabs(t.dy)))) + 16;
        const PsnrResult p = DiskPsnr(frame, truth.image, mask, reach);
        if (best.frame < 0 || p.psnr > best.psnr.psnr) best = {k, p};
    }
    if (best.frame < 0) throw Error("the capture has no frame that was not dropped");
    return best;
}

OracleResult OracleStack(const FrameReader& frames, const GroundTruth& truth, double fraction) {
    std::size_t usable = 0;
    for (const FrameTruth& t : truth.frames) usable += t.dropped ? 0 : 1;
    const auto count = std::size_t(std::max(1.0, std::nearbyint(std::clamp(fraction, 0.0, 1.0) * double(usable))));
    const std::vector<int> chosen = SharpestFrames(truth.frames, count);
    if (chosen.empty()) throw Error("the capture has no frame that was not dropped");

    FloatImage frame, moved;
    std::vector<uint8_t> valid;
    std::vector<double> sum;
    std::vector<uint32_t> covered;
    int channels = 0, w = 0, h = 0;
    for (int k : chosen) {
        frames(k, frame);
        if (channels == 0) {
            channels = frame.channels;
            w = frame.width;
            h = frame.height;
            sum.assign(frame.data.size(), 0.0);
            covered.assign(std::size_t(w) * std::size_t(h), 0);
        } else if (frame.channels != channels || frame.width != w || frame.height != h) {
            throw Error("frame " + std::to_string(k) + " differs in size or colour from the first frame stacked");
        }
        const FrameTruth& t = truth.frames[std::size_t(k)];
        ShiftImage(frame, -t.dx, -t.dy, moved, &valid);
        const std::size_t n = valid.size();
        for (int c = 0; c < channels; ++c) {
            const float* src = moved.Plane(c);
            double* dst = sum.data() + std::size_t(c) * n;
            for (std::size_t i = 0; i < n; ++i)
                if (valid[i]) dst[i] += src[i];
        }
        for (std::size_t i = 0; i < n; ++i) covered[i] += valid[i];
    }
    OracleResult out;
    out.frames = int(chosen.size());
    out.image.Allocate(w, h, channels);
    const std::size_t n = covered.size();
    for (int c = 0; c < channels; ++c)
        for (std::size_t i = 0; i < n; ++i)
            out.image.Plane(c)[i] = covered[i] ? float(sum[std::size_t(c) * n + i] / covered[i]) : 0.f;
    out.psnr = DiskPsnr(out.image, truth);
    return out;
}

double Spearman(std::span<const double> a, std::span<const double> b) {
    const std::size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    const std::vector<double> ra = Ranks(a.first(n)), rb = Ranks(b.first(n));
    const double mean = 0.5 * double(n - 1);
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sab += (ra[i] - mean) * (rb[i] - mean);
        saa += (ra[i] - mean) * (ra[i] - mean);
        sbb += (rb[i] - mean) * (rb[i] - mean);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

std::vector<ShiftsRow> ReadShiftsCsv(const fs::path& file) {
    const CsvTable csv(ReadText(file), file.string());
    std::vector<ShiftsRow> rows(csv.Rows());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ShiftsRow& row = rows[r];
        row.index = int(csv.Number(r, "index"));
        row.shiftX = csv.Number(r, "ShiftX");
        row.shiftY = csv.Number(r, "ShiftY");
        row.quality = csv.Number(r, "Quality");
        row.difference = csv.Number(r, "Difference");
        row.rank = int(csv.Number(r, "rank"));
        row.excluded = csv.Number(r, "excluded") != 0;
        row.dropped = csv.Number(r, "dropped") != 0;
    }
    return rows;
}

QualityRanking QualityAgainstBlur(const std::vector<ShiftsRow>& rows, const std::vector<FrameTruth>& truth) {
    std::vector<double> quality, sigma;
    for (const ShiftsRow& r : rows) {
        if (r.excluded || r.dropped || r.index < 0 || std::size_t(r.index) >= truth.size()) continue;
        if (truth[std::size_t(r.index)].dropped) continue;
        quality.push_back(r.quality);
        sigma.push_back(truth[std::size_t(r.index)].sigma);
    }
    return {Spearman(quality, sigma), int(quality.size())};
}

}  // namespace talvenor::capture
