#include "cli/process_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>

#include "cli/align_command.h"
#include "cli/json_text.h"
#include "cli/stack_command.h"
#include "project/filter_file.h"
#include "registration/rgb_shift.h"
#include "session/auto_sharpening.h"
#include "session/deconvolution_step.h"
#include "session/final_page.h"
#include "session/gamma_window.h"
#include "session/page_change.h"
#include "session/project_files.h"
#include "session/tool_windows.h"
#include "session/noise_window.h"
#include "final/resize_window.h"
#include "session/resize_window.h"
#include "session/result_save.h"
#include "session/wavelet_handlers.h"
#include "session/wavelet_process.h"
#include "workspace/error.h"
#include "workspace/stack_buffers.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

const std::string_view kProcessOptions =
    "  --area 128|256|512|1024|2048|full  the processing area around the feature; the saved\n"
    "                              picture is the whole image processed in tiles of this\n"
    "                              size (by default one area holds the whole image)\n"
    "  --gains g1,g2,g3,g4,g5,g6   layer gains, finest first (1 keeps a layer, 0 removes it;\n"
    "                              -5 .. 100); default 1,1,1,1,1,1\n"
    "  --gains auto                the scheme, gains and finest layers' noise thresholds\n"
    "                              chosen from the stack itself (the page's \"Auto\")\n"
    "  --deconvolve SIGMA[,PARAM]  sharpen by undoing a Gaussian blur of SIGMA pixels (0.3 .. 6)\n"
    "                              instead of the layer gains; PARAM: Richardson-Lucy's\n"
    "                              iterations (1 .. 200, default 20) or the Wiener filter's\n"
    "                              regularisation (0.001 .. 1, default 0.02)\n"
    "  --deconvolve auto           the blur, and Richardson-Lucy's iterations or the Wiener\n"
    "                              filter's regularisation, read off the stack\n"
    "  --deconvolve-filter richardson-lucy|wiener   the deconvolution's filter (default\n"
    "                              richardson-lucy)\n"
    "  --scheme dyadic|linear      layer scales 1,2,4,..,32, or initial + step x (n - 1)\n"
    "  --initial N                 scale of layer 1 in the linear scheme (1 .. 32)\n"
    "  --step S                    scale growth per layer in the linear scheme (0 .. 32)\n"
    "  --kernel k1,...,k25         the 5 x 5 smoothing kernel row by row, top row first\n"
    "                              (25 integers; normalised to sum 1)\n"
    "  --contrast C                contrast in percent (10 .. 500, 100 = unchanged)\n"
    "  --brightness B              brightness offset in grey levels (-127 .. 127)\n"
    "  --gamma G                   gamma of the display curve (0.1 .. 10)\n"
    "  --rgb-shift auto|RX,RY,BX,BY  align red and blue to green: estimated, or whole pixels\n"
    "                              (positive X moves the channel right, positive Y up)\n"
    "  --lrgb                      sharpen the luminance only and colour it from the stack\n"
    "  --denoise none|A|B|C|D      noise thresholds from an estimator of the layers' noise\n"
    "                              (D: each layer's mean absolute value)\n"
    "  --denoise-layers 1,2,...    the layers the thresholds apply to (default 1,2 with\n"
    "                              --denoise A..D, none with --denoise none; the layers\n"
    "                              given a threshold above 0 with --noise); a layer named\n"
    "                              here whose threshold is 0 is left out, as in the window\n"
    "  --noise T1,...,T6           thresholds by hand, in the stack's units (0 = none);\n"
    "                              instead of --denoise\n"
    "  --antiring X,Y              anti-ringing at the level of the background around X,Y\n"
    "                              (a pick on the processed image, as a right click there)\n"
    "  --stretch LO,HI             display levels mapped to black and white (0,255 = none)\n"
    "  --offsets R,G,B             level offsets per channel (-100 .. 100)\n"
    "  --balance R,G,B             colour balance factors (0 .. 1.5)\n"
    "Final picture (any of these saves the Final page's picture instead of the processed one):\n"
    "  --rotate DEG                rotation about the centre, counter-clockwise (the size stays)\n"
    "  --flip x|y|xy               mirror left to right, top to bottom, or both\n"
    "  --hsl H,S,L                 hue (-100..100 degrees), saturation (-50..50) and lightness\n"
    "                              (-100..100) shifts\n"
    "  --crop X,Y,W,H              save only this rectangle of the final picture (every type)\n"
    "  --resize PERCENT            save the final picture resized (.bmp, .jpg or .png)\n"
    "  --filter bell|bspline|lanczos|mitchell   the resize filter (default bspline)\n";

namespace {


struct ProcessOptions {
    std::optional<int> areaItem;  // Processarea item
    std::optional<std::vector<double>> gains;
    bool autoGains = false;
    // --deconvolve: automatic, or the sigma with the filter's parameter when given.
    bool deconvolve = false, autoDeconvolve = false;
    double sigma = 0;
    std::optional<double> deconvolveParameter;
    int deconvolveFilter = 0;                   // DeconvFilter item
    std::optional<int> scheme;    // Scaletype item
    std::optional<double> initial, step, gamma;
    std::optional<std::vector<double>> kernel;
    std::optional<int> contrast, brightness;
    std::string rgbShift;
    bool lrgb = false;
    std::optional<int> denoise;                 // Denoise item
    std::optional<std::vector<double>> denoiseLayers, noise, stretch, offsets, balance;
    std::optional<std::pair<int, int>> antiring;
    // The final picture.
    std::optional<double> rotate;
    std::string flip;                           // "x", "y" or "xy"
    std::optional<std::vector<double>> hsl, crop;
    std::optional<double> resize;               // percent
    std::optional<int> filter;                  // ResizeFilters item
    bool Final() const { return rotate || !flip.empty() || hsl || crop || resize; }
};

std::vector<double> Numbers(const std::string& option, const std::string& text, std::size_t count) {
    std::vector<double> v;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const auto n = ParseNumber(text.substr(start, comma - start));
        if (!n) throw Error(option + " needs " + std::to_string(count) + " numbers separated by commas, not \"" + text + "\"");
        v.push_back(*n);
        start = comma + 1;
    }
    if (v.size() != count)
        throw Error(option + " needs " + std::to_string(count) + " numbers separated by commas, not \"" + text + "\"");
    return v;
}

double Number(const std::string& option, const std::string& text, double lo, double hi) {
    const auto n = ParseNumber(text);
    if (!n || *n < lo || *n > hi) {
        char range[80];
        std::snprintf(range, sizeof range, "%g .. %g", lo, hi);
        throw Error(option + " needs a number from " + range + ", not \"" + text + "\"");
    }
    return *n;
}

// --deconvolve auto, or SIGMA[,PARAM] (the parameter is checked once the filter is known).
void TakeDeconvolve(ProcessOptions& p, const std::string& text) {
    p.deconvolve = true;
    if (ToLower(text) == "auto") {
        p.autoDeconvolve = true;
        return;
    }
    const std::size_t comma = text.find(',');
    p.sigma = Number("--deconvolve", text.substr(0, comma), 0.3, 6);
    if (comma != std::string::npos) p.deconvolveParameter = Number("--deconvolve", text.substr(comma + 1), 0.001, 200);
}

void CheckDeconvolveParameter(const ProcessOptions& p) {
    if (!p.deconvolveParameter) return;
    const double v = *p.deconvolveParameter;
    if (p.deconvolveFilter == 0 && (v < 1 || v != std::floor(v)))
        throw Error("--deconvolve: Richardson-Lucy's iterations are a whole number from 1 to 200");
    if (p.deconvolveFilter == 1 && v > 1) throw Error("--deconvolve: the Wiener regularisation lies from 0.001 to 1");
}

// Takes process's own options out of `args`, leaving those of stack.
ProcessOptions TakeProcessOptions(std::vector<std::string>& args) {
    ProcessOptions p;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw Error(a + " needs a value");
            return args[++i];
        };
        if (a == "--area") {
            const std::string v = ToLower(value());
            const char* items[] = {"full", "2048", "1024", "512", "256", "128"};
            for (int k = 0; k < 6; ++k)
                if (v == items[k]) p.areaItem = k;
            if (!p.areaItem) throw Error("--area needs 128, 256, 512, 1024, 2048 or full, not \"" + v + "\"");
        } else if (a == "--gains") {
            const std::string v = value();
            if (ToLower(v) == "auto") {
                p.autoGains = true;
                continue;
            }
            p.gains = Numbers(a, v, 6);
            for (double g : *p.gains)
                if (g < -5 || g > 100) throw Error("--gains: each gain lies from -5 to 100");
        } else if (a == "--deconvolve") {
            TakeDeconvolve(p, value());
        } else if (a == "--deconvolve-filter") {
            const std::string v = ToLower(value());
            if (v == "richardson-lucy" || v == "rl") p.deconvolveFilter = 0;
            else if (v == "wiener") p.deconvolveFilter = 1;
            else throw Error("--deconvolve-filter needs richardson-lucy or wiener, not \"" + v + "\"");
        } else if (a == "--scheme") {
            const std::string v = ToLower(value());
            if (v == "dyadic") p.scheme = 0;
            else if (v == "linear") p.scheme = 1;
            else throw Error("--scheme needs dyadic or linear, not \"" + v + "\"");
        } else if (a == "--initial") {
            p.initial = Number(a, value(), 1, 32);
            if (*p.initial != std::floor(*p.initial)) throw Error("--initial needs a whole number");
        } else if (a == "--step") {
            p.step = Number(a, value(), 0, 32);
        } else if (a == "--kernel") {
            p.kernel = Numbers(a, value(), 25);
            for (double k : *p.kernel)
                if (k != std::floor(k) || k < -999 || k > 999) throw Error("--kernel needs 25 integers from -999 to 999");
        } else if (a == "--contrast") {
            p.contrast = int(std::lrint(Number(a, value(), 10, 500)));
        } else if (a == "--brightness") {
            p.brightness = int(std::lrint(Number(a, value(), -127, 127)));
        } else if (a == "--gamma") {
            p.gamma = Number(a, value(), 0.1, 10);
        } else if (a == "--rgb-shift") {
            p.rgbShift = ToLower(value());
            if (p.rgbShift != "auto") Numbers(a, p.rgbShift, 4);
        } else if (a == "--lrgb") {
            p.lrgb = true;
        } else if (a == "--rotate") {
            p.rotate = Number(a, value(), -360, 360);
        } else if (a == "--flip") {
            p.flip = ToLower(value());
            if (p.flip != "x" && p.flip != "y" && p.flip != "xy" && p.flip != "yx")
                throw Error("--flip needs x, y or xy, not \"" + p.flip + "\"");
        } else if (a == "--hsl") {
            p.hsl = Numbers(a, value(), 3);
            const double lo[3] = {-100, -50, -100}, hi[3] = {100, 50, 100};
            for (int k = 0; k < 3; ++k)
                if ((*p.hsl)[std::size_t(k)] < lo[k] || (*p.hsl)[std::size_t(k)] > hi[k])
                    throw Error("--hsl needs hue -100..100, saturation -50..50 and lightness -100..100");
        } else if (a == "--crop") {
            p.crop = Numbers(a, value(), 4);
            const auto& c = *p.crop;
            if (c[0] < 0 || c[1] < 0 || c[2] < 1 || c[3] < 1) throw Error("--crop needs X,Y,W,H with X, Y >= 0 and W, H >= 1");
        } else if (a == "--resize") {
            std::string v = value();
            if (!v.empty() && v.back() == '%') v.pop_back();
            p.resize = Number(a, v, 1, 800);
        } else if (a == "--filter") {
            const std::string v = ToLower(value());
            const char* items[] = {"bell", "bspline", "lanczos", "mitchell"};
            for (int k = 0; k < 4; ++k)
                if (v == items[k] || (k == 1 && v == "b-spline")) p.filter = k;
            if (!p.filter) throw Error("--filter needs bell, bspline, lanczos or mitchell, not \"" + v + "\"");
        } else if (a == "--denoise") {
            const std::string v = ToLower(value());
            const char* items[] = {"none", "a", "b", "c", "d"};
            for (int k = 0; k < 5; ++k)
                if (v == items[k]) p.denoise = k;
            if (!p.denoise) throw Error("--denoise needs none, A, B, C or D, not \"" + v + "\"");
        } else if (a == "--denoise-layers") {
            const std::string v = value();
            const std::size_t count = std::size_t(std::count(v.begin(), v.end(), ',')) + 1;
            if (count > 6) throw Error("--denoise-layers needs layer numbers from 1 to 6, not \"" + v + "\"");
            p.denoiseLayers = Numbers(a, v, count);
            for (double n : *p.denoiseLayers)
                if (n != std::floor(n) || n < 1 || n > 6) throw Error("--denoise-layers needs layer numbers from 1 to 6, not \"" + v + "\"");
        } else if (a == "--noise") {
            p.noise = Numbers(a, value(), 6);
            for (double t : *p.noise)
                if (t < 0) throw Error("--noise needs thresholds of 0 or more");
        } else if (a == "--antiring") {
            const std::vector<double> xy = Numbers(a, value(), 2);
            p.antiring = std::make_pair(int(std::lrint(xy[0])), int(std::lrint(xy[1])));
        } else if (a == "--stretch") {
            p.stretch = Numbers(a, value(), 2);
            if ((*p.stretch)[1] <= (*p.stretch)[0]) throw Error("--stretch needs LO below HI");
        } else if (a == "--offsets") {
            p.offsets = Numbers(a, value(), 3);
            for (double o : *p.offsets)
                if (o < -100 || o > 100) throw Error("--offsets: each offset lies from -100 to 100");
        } else if (a == "--balance") {
            p.balance = Numbers(a, value(), 3);
            for (double b : *p.balance)
                if (b < 0 || b > 1.5) throw Error("--balance: each factor lies from 0 to 1.5");
        } else {
            rest.push_back(a);
        }
    }
    if (p.noise && p.denoise) throw Error("--noise and --denoise both set the thresholds: give one of them");
    if (p.deconvolve && (p.gains || p.autoGains))
        throw Error("--deconvolve and --gains both choose the sharpening: give one of them");
    CheckDeconvolveParameter(p);
    args = std::move(rest);
    return p;
}

// The Wavelet page's save type for an output name: 1 BMP, 2 JPEG, 3 FITS, 4 TIFF, 5 PNG.
int WaveletSaveType(const std::string& path) {
    const std::string ext = ToLower(fs::path(path).extension().string());
    if (ext == ".bmp") return 1;
    if (ext == ".jpg" || ext == ".jpeg") return 2;
    if (ext == ".fit" || ext == ".fits") return 3;
    if (ext == ".tif" || ext == ".tiff") return 4;
    if (ext == ".png") return 5;
    throw Error(path + ": the output must end in .bmp, .jpg, .fit, .tif or .png");
}

void ApplyLayerSettings(Session& s, const ProcessOptions& p) {
    Controls& f = s.form;
    if (p.gains)
        for (int n = 1; n <= kLayers; ++n) GainSlider(f, n).Value = int(std::lrint((*p.gains)[std::size_t(n - 1)] * 10));
    if (p.scheme) {
        f.Scaletype.ItemIndex = *p.scheme;
        f.LevelStep.Enabled = f.Multiplicant.Enabled = *p.scheme == 1;
    }
    if (p.initial) f.LevelStep.Value = *p.initial;
    if (p.step) f.Multiplicant.Value = *p.step;
    if (p.kernel) {
        FilterValues values{};
        std::copy_n(p.kernel->begin(), values.size(), values.begin());
        ApplyFilterValues(f, values);
        NormaliseKernel(s);
    }
    if (p.contrast) f.ContrastSlider.Value = *p.contrast;
    if (p.brightness) f.BrightnessSlider.Value = *p.brightness;
    if (p.gamma) SetGammaValue(s, *p.gamma);
    if (p.lrgb) {
        if (!f.ColourStack.Checked) throw Error("--lrgb needs colour processing (a colour input or --colour)");
        f.LRGB2.Checked = true;
    }
    s.ws.LayersStale = true;
}

// The sharpening method and its settings; "auto" reads them off the stack (after the channel
// shift and the luminance mix, which change the planes it measures).
void ApplySharpening(Session& s, const ProcessOptions& p) {
    Controls& f = s.form;
    f.SharpenMethod.ItemIndex = p.deconvolve ? 1 : 0;
    f.DeconvFilter.ItemIndex = p.deconvolveFilter;
    if (p.deconvolve && !p.autoDeconvolve) {
        f.DeconvSigma.SetValue(int(std::lrint(p.sigma * 100)));
        if (p.deconvolveParameter && p.deconvolveFilter == 0) f.DeconvIterations.SetValue(*p.deconvolveParameter);
        if (p.deconvolveParameter && p.deconvolveFilter == 1) f.DeconvWienerK.SetValue(*p.deconvolveParameter);
    }
    if (p.autoGains || p.autoDeconvolve) ChooseAutomaticSharpening(s);
    ShowSharpeningControls(f);
    s.ws.LayersStale = true;
}

// The processing area: the whole image in one piece, or the named square around the feature.
void PlaceArea(Session& s, const ProcessOptions& p, std::pair<int, int> feature) {
    Workspace& ws = s.ws;
    Controls& f = s.form;
    int item = 0;
    if (p.areaItem) {
        item = *p.areaItem;
    } else {
        for (int k = 5; k >= 0; --k)
            if (ProcessAreaSideForItem(k) >= std::max(ws.ImageWidth, ws.ImageHeight)) {
                item = k;
                break;
            }
    }
    f.Processarea.ItemIndex = item;
    s.Dispatch("Processarea", Event::Change);
    double scale = 1;
    if (f.Drizzling.Checked) scale = 2;
    else if (f.Resampled.Checked) scale = f.ResampleSpin.Value;
    const int cx = int(std::lrint(feature.first * scale)), cy = int(std::lrint(feature.second * scale));
    ws.ProcessAreaLeft = std::clamp(cx - ws.ProcessAreaWidth / 2, 0, std::max(0, ws.ImageWidth - ws.ProcessAreaWidth));
    ws.ProcessAreaTop = std::clamp(cy - ws.ProcessAreaHeight / 2, 0, std::max(0, ws.ImageHeight - ws.ProcessAreaHeight));
}

void ApplyChannelShift(Session& s, const ProcessOptions& p) {
    if (p.rgbShift.empty()) return;
    Controls& f = s.form;
    if (!f.ColourStack.Checked) throw Error("--rgb-shift needs colour processing (a colour input or --colour)");
    if (p.rgbShift == "auto") {
        EstimateChannelShifts(s.ctx);
        return;
    }
    const std::vector<double> v = Numbers("--rgb-shift", p.rgbShift, 4);
    f.RDXSpin.Value = v[0];
    f.RdySpin.Value = v[1];
    f.BDXspin.Value = v[2];
    f.BDYSpin.Value = v[3];
    ShiftsFromSpins(s.ws, f);
    s.ws.LayersStale = true;
}

// What the noise and histogram windows would set, once the layers exist (the estimators read
// their statistics, the anti-ring pick the residual).
void ApplyFinishing(Session& s, const ProcessOptions& p) {
    Controls& f = s.form;
    WaveletState& w = s.wavelets;
    if (p.denoise || p.noise) {
        std::vector<double> layers;
        if (p.denoiseLayers) layers = *p.denoiseLayers;
        else if (p.noise) {
            for (int n = 1; n <= kLayers; ++n)
                if ((*p.noise)[std::size_t(n - 1)] > 0) layers.push_back(n);
        } else if (*p.denoise != 0) layers = {1, 2};  // "None" gives every layer 0: ticked, they would vanish
        for (int n = 1; n <= kLayers; ++n)
            CutBox(f, n).Checked = std::find(layers.begin(), layers.end(), double(n)) != layers.end();
        if (p.noise) {
            for (int n = 1; n <= kLayers; ++n) w.NoiseThreshold[std::size_t(n)] = float((*p.noise)[std::size_t(n - 1)]);
        } else {
            f.Denoise.ItemIndex = *p.denoise;
            ApplyEstimator(s);
        }
    }
    if (p.antiring) {
        const auto [x, y] = *p.antiring;
        if (x < 0 || y < 0 || x >= s.ws.ImageWidth || y >= s.ws.ImageHeight)
            throw Error("--antiring " + std::to_string(x) + "," + std::to_string(y) + " lies outside the " +
                        std::to_string(s.ws.ImageWidth) + " x " + std::to_string(s.ws.ImageHeight) + " image");
        PickAntiRingLevel(s, x, y);
        f.AntiRing.Checked = true;
    }
    if (p.stretch) {
        // As after "Stretch": the graph shows the stretched range across its width.
        s.ws.HistLo = w.Histogram.HistRangeLo = float((*p.stretch)[0]);
        s.ws.HistHi = w.Histogram.HistRangeHi = float((*p.stretch)[1]);
    }
    if (p.offsets) {
        f.RedSlider.Value = int(std::lrint((*p.offsets)[0]));
        f.GreenSlider.Value = int(std::lrint((*p.offsets)[1]));
        f.blueslider.Value = int(std::lrint((*p.offsets)[2]));
    }
    if (p.balance) {
        f.Rbalance.Value = (*p.balance)[0];
        f.Gbalance.Value = (*p.balance)[1];
        f.Bbalance.Value = (*p.balance)[2];
        s.ws.ColourBalance = {float(f.Rbalance.Value), float(f.Gbalance.Value), float(f.Bbalance.Value)};
    }
    RebuildImage(s);
}

// The Final page as the options set it: rotation, flips, colour shifts, then the crop.
void ApplyFinalPicture(Session& s, const ProcessOptions& p) {
    Controls& f = s.form;
    GoToPage(s, kPageFinal);
    if (p.rotate) f.RxSpinEdit4.Value = *p.rotate;
    f.FlipX.Checked = p.flip.find('x') != std::string::npos;
    f.FlipY.Checked = p.flip.find('y') != std::string::npos;
    if (p.hsl) {
        f.HueSlider.Value = int(std::lrint((*p.hsl)[0]));
        f.SaturationSlider.Value = int(std::lrint((*p.hsl)[1]));
        f.Lightnessslider.Value = int(std::lrint((*p.hsl)[2]));
    }
    UpdateFinalBitmap(s);
    if (p.crop) {
        const auto& c = *p.crop;
        const int x = int(std::lrint(c[0])), y = int(std::lrint(c[1]));
        const int w = int(std::lrint(c[2])), h = int(std::lrint(c[3]));
        if (x + w > s.ws.ImageWidth || y + h > s.ws.ImageHeight)
            throw Error("--crop " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," +
                        std::to_string(h) + " reaches outside the " + std::to_string(s.ws.ImageWidth) + " x " +
                        std::to_string(s.ws.ImageHeight) + " image");
        // As a drag from corner to corner on the picture.
        EventArgs e;
        e.Button = MouseButton::Left;
        e.X = x;
        e.Y = y;
        s.Dispatch("RotateImage", Event::MouseDown, e);
        e.X = x + w;
        e.Y = y + h;
        s.Dispatch("RotateImage", Event::MouseMove, e);
        s.Dispatch("RotateImage", Event::MouseUp, e);
    }
}

std::string GainList(Controls& f, const char* separator) {
    std::string text;
    for (int n = 1; n <= kLayers; ++n) text += (n > 1 ? separator : "") + Fixed(GainSlider(f, n).Value * 0.1, 1);
    return text;
}

// How the picture was sharpened, for a script: the method and what it used.
std::string SharpeningJson(Session& s) {
    Controls& f = s.form;
    if (DeconvolutionChosen(f)) {
        const DeconvolutionSettings d = DeconvolutionSettingsFromControls(f);
        const bool wiener = d.method == DeconvolutionMethod::Wiener;
        return std::string("\"sharpening\": {\"method\": \"deconvolution\", \"filter\": \"") +
               (wiener ? "wiener" : "richardson-lucy") + "\", \"sigma\": " + Fixed(d.sigma, 2) +
               (wiener ? ", \"regularisation\": " + Fixed(d.wienerK, 4) : ", \"iterations\": " + std::to_string(d.iterations)) +
               "}, ";
    }
    return "\"sharpening\": {\"method\": \"wavelets\", \"scheme\": \"" + std::string(f.Scaletype.ItemIndex == 0 ? "dyadic" : "linear") +
           "\", \"gains\": [" + GainList(f, ", ") + "]}, ";
}

std::string SharpeningSummary(Session& s) {
    Controls& f = s.form;
    if (!DeconvolutionChosen(f)) return "gains " + GainList(f, ",");
    const DeconvolutionSettings d = DeconvolutionSettingsFromControls(f);
    return std::string(d.method == DeconvolutionMethod::Wiener ? "Wiener" : "Richardson-Lucy") + " deconvolution, sigma " +
           Fixed(d.sigma, 2) + " px";
}

}  // namespace

int RunProcessCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    std::vector<std::string> args = arguments;
    const ProcessOptions p = TakeProcessOptions(args);
    const CliOptions options = ParseCliOptions(args);
    if (options.output.empty()) throw Error("process needs -o OUT (.bmp, .jpg, .fit, .tif or .png)");
    const int saveType = WaveletSaveType(options.output);
    if (p.resize && saveType != 1 && saveType != 2 && saveType != 5)
        throw Error("--resize saves a .bmp, .jpg or .png picture, not " + options.output);
    CliSession cli(err);
    cli.GuardOutputs(options);
    Session& s = cli.session();
    const StageCost start = CostNow();
    const StackRun run = StackFromOptions(cli, options, err);

    const StageCost waveletStart = CostNow();
    // As "Align && stack" does: the Wavelet page is open while it works, so the project and the
    // recipe of the saved picture reopen there.
    GoToPage(s, kPageWavelets);
    ApplyLayerSettings(s, p);
    PlaceArea(s, p, run.feature);
    ApplyChannelShift(s, p);
    ApplySharpening(s, p);
    Process(s);
    ApplyFinishing(s, p);
    const StageCost wavelets = CostSince(waveletStart);

    if (p.resize) {
        // The resize window's save: the final picture resampled, as BMP, JPEG or 8-bit PNG.
        ApplyFinalPicture(s, p);
        const Bitmap24 picture = FinalPictureForOutput(s);
        const PictureSize size = ScaledSize(picture.Width(), picture.Height(), *p.resize / 100);
        Bitmap24& shrunk = s.form.ShrinkImage.Image;
        shrunk.SetSize(size.Width, size.Height);
        ResamplePicture(picture, p.filter.value_or(1), shrunk);
        // The resize window's types: 1 BMP, 2 JPEG, 3 PNG.
        const int resizeType = saveType == 2 ? 2 : saveType == 5 ? 3 : 1;
        cli.host().SaveChoices.push_back(FileChoice{{fs::absolute(options.output).string()}, resizeType});
        SaveShrinkClick(s);
    } else if (p.Final()) {
        cli.host().SaveChoices.push_back(FileChoice{{fs::absolute(options.output).string()}, saveType});
        ApplyFinalPicture(s, p);
        s.Dispatch("BitBtn8", Event::Click);
    } else {
        cli.host().SaveChoices.push_back(FileChoice{{fs::absolute(options.output).string()}, saveType});
        SaveBMP2buttonClick(s);
    }
    if (!options.shiftsCsv.empty()) WriteShiftsCsv(options.shiftsCsv, cli);
    if (!options.project.empty()) {
        // The project reopens on the page whose picture was saved.
        SaveProjectClick(s, fs::absolute(options.project));
    }
    cli.CommitOutputs();

    const Workspace& ws = s.ws;
    if (options.json) {
        out << "{\"frames\": " << InputFrameCount(ws) << ", \"selected\": " << (ws.SingleFrameCase ? 1 : ws.SelectedCount)
            << ", \"stacked\": " << run.stacked
            << ", " << PointsJson(run) << "\"feature\": [" << run.feature.first << ", " << run.feature.second
            << "], \"box\": " << ws.AlignBoxSize << ", \"size\": [" << ws.ImageWidth << ", " << ws.ImageHeight
            << "], \"area\": [" << ws.ProcessAreaLeft << ", " << ws.ProcessAreaTop << ", "
            << std::min(ws.ProcessAreaWidth, ws.ImageWidth) << ", " << std::min(ws.ProcessAreaHeight, ws.ImageHeight)
            << "], \"rgb_shift\": [" << ws.RedShiftX << ", " << ws.RedShiftY << ", " << ws.BlueShiftX << ", " << ws.BlueShiftY
            << "], " << SharpeningJson(s) << "\"output\": " << JsonString(options.output) << ", "
            << StageCostsJson(run, {"wavelets", wavelets}, CostSince(start)) << "}\n";
    } else {
        // Every save processes the whole image; a smaller area only sets the size of its tiles.
        if (ws.SingleFrameCase) out << "processed the single picture " << options.inputs[0];
        else out << "processed the image of " << run.stacked << " stacked frames of " << InputFrameCount(ws) << PointsSummary(run);
        out << " (" << ws.ImageWidth << " x " << ws.ImageHeight << ") into " << options.output
            << (p.resize ? " (the final picture, resized)" : (p.Final() ? " (the final picture)" : "")) << "; align "
            << Fixed(run.align.wall + run.optimize.wall, 2) << " s, stack " << Fixed(run.stack.wall, 2)
            << " s, wavelets " << Fixed(wavelets.wall, 2) << " s; " << SharpeningSummary(s) << "\n";
    }
    return 0;
}

}  // namespace talvenor
