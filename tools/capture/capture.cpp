#include "capture/capture.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "capture/avi_writer.h"
#include "capture/prng.h"
#include "capture/ser_writer.h"
#include "capture/series_writer.h"
#include "imagefiles/bmp_file.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor::capture {

namespace {

enum : uint64_t { kScene = 201, kFrames = 202, kNoise = 203, kLocalSeeing = 204 };

bool GreyFormat(CaptureFormat f) {
    return f == CaptureFormat::AviGrey || f == CaptureFormat::Fits || f == CaptureFormat::SerMono;
}

// A one-shot colour camera sees colour whatever was asked: its mosaic of a grey scene would
// be a grey picture with a pattern no debayering has to undo.
bool ColourScene(const CaptureOptions& o) {
    return (o.colour || o.format == CaptureFormat::SerBayer) && !GreyFormat(o.format);
}

// The local seeing of the realistic model, scaled to the object the scene shows.
LocalSeeing LocalFor(const CaptureOptions& o, const SceneOptions& scene) {
    if (!o.realistic) return {};
    return LocalSeeingFor(o.seeing.distortion, o.seeing.patchiness, ObjectSize(scene));
}

SceneOptions SceneFor(const CaptureOptions& o, const std::vector<FrameTruth>& plan) {
    SceneOptions s;
    s.mode = o.mode;
    s.width = o.width;
    s.height = o.height;
    s.margin = MarginFor(plan);
    s.seed = SubSeed(o.seed, kScene);
    s.colour = ColourScene(o);
    // Put the planet where it stays in view for the whole capture: the centre of the frame
    // half-way through the drift.
    const double half = std::max(0, o.frames - 1) / 2.0;
    s.centreX = (o.width - 1) / 2.0 - o.driftX * half;
    s.centreY = (o.height - 1) / 2.0 - o.driftY * half;
    if (o.realistic && !plan.empty()) {
        // The random walk wanders anywhere: centre on the mean position instead.
        double mx = 0, my = 0;
        for (const FrameTruth& t : plan) {
            mx += t.dx;
            my += t.dy;
        }
        s.centreX = (o.width - 1) / 2.0 - mx / double(plan.size());
        s.centreY = (o.height - 1) / 2.0 - my / double(plan.size());
    }
    return s;
}

// Local seeing reaches further than the frames of the plan alone: the scene grows by mirror
// for it, so that the options never change the scene (nor the truth images).
Scene CaptureScene(const CaptureOptions& o, const std::vector<FrameTruth>& plan) {
    const SceneOptions options = SceneFor(o, plan);
    const LocalSeeing local = LocalFor(o, options);
    if (!local.Active()) return MakeScene(options);
    return PadScene(MakeScene(options), LocalSeeingMargin(plan, local));
}

MotionOptions MotionFor(const CaptureOptions& o) {
    MotionOptions m;
    m.frames = o.frames;
    m.driftX = o.driftX;
    m.driftY = o.driftY;
    m.jitter = o.jitter;
    m.blurMin = o.blurMin;
    m.blurMax = o.blurMax;
    m.brightness = o.brightness;
    m.seed = SubSeed(o.seed, kFrames);
    m.dropped = o.dropped;
    return m;
}

std::vector<FrameTruth> PlanFor(const CaptureOptions& o) {
    return o.realistic ? PlanSeeingFrames(MotionFor(o), o.seeing) : PlanFrames(MotionFor(o));
}

FrameRenderer RendererFor(const Scene& scene, const CaptureOptions& o) {
    const uint64_t seed = SubSeed(o.seed, kNoise);
    return o.realistic ? FrameRenderer(scene, o.sensor, seed) : FrameRenderer(scene, o.noise, seed);
}

std::optional<LocalSeeingRenderer> LocalRendererFor(const Scene& scene, const CaptureOptions& o,
                                                    const std::vector<FrameTruth>& plan) {
    const LocalSeeing local = LocalFor(o, SceneFor(o, plan));
    if (!local.Active()) return std::nullopt;
    return std::optional<LocalSeeingRenderer>(std::in_place, scene, local, SubSeed(o.seed, kLocalSeeing));
}

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

std::optional<CaptureFormat> ParseCaptureFormat(std::string_view text) {
    const std::string t = ToLower(text);
    if (t == "avi-rgb" || t == "avi") return CaptureFormat::AviRgb;
    if (t == "avi-grey" || t == "avi-gray") return CaptureFormat::AviGrey;
    if (t == "avi-mjpeg" || t == "avi-mjpg") return CaptureFormat::AviMjpeg;
    if (t == "bmp") return CaptureFormat::Bmp;
    if (t == "jpg" || t == "jpeg") return CaptureFormat::Jpeg;
    if (t == "fit" || t == "fits") return CaptureFormat::Fits;
    if (t == "tif" || t == "tiff") return CaptureFormat::Tiff;
    if (t == "ser-mono" || t == "ser-grey" || t == "ser-gray") return CaptureFormat::SerMono;
    if (t == "ser-rgb") return CaptureFormat::SerRgb;
    if (t == "ser-bayer" || t == "ser-rggb") return CaptureFormat::SerBayer;
    return std::nullopt;
}

std::string CaptureFormatName(CaptureFormat f) {
    switch (f) {
        case CaptureFormat::AviRgb: return "avi-rgb";
        case CaptureFormat::AviGrey: return "avi-grey";
        case CaptureFormat::AviMjpeg: return "avi-mjpeg";
        case CaptureFormat::Bmp: return "bmp";
        case CaptureFormat::Jpeg: return "jpg";
        case CaptureFormat::Fits: return "fit";
        case CaptureFormat::Tiff: return "tif";
        case CaptureFormat::SerMono: return "ser-mono";
        case CaptureFormat::SerRgb: return "ser-rgb";
        case CaptureFormat::SerBayer: return "ser-bayer";
    }
    return "avi-rgb";
}

bool IsAvi(CaptureFormat f) {
    return f == CaptureFormat::AviRgb || f == CaptureFormat::AviGrey || f == CaptureFormat::AviMjpeg;
}

bool IsSer(CaptureFormat f) {
    return f == CaptureFormat::SerMono || f == CaptureFormat::SerRgb || f == CaptureFormat::SerBayer;
}

void CheckOptions(const CaptureOptions& o) {
    auto finite = [](double v) { return std::isfinite(v); };
    if (o.frames < 1 || o.frames > 1000000) throw Error("frames must be 1 .. 1000000");
    if (o.width < 8 || o.height < 8 || o.width > 8192 || o.height > 8192)
        throw Error("size must be 8 .. 8192 pixels each way");
    if (!finite(o.driftX) || !finite(o.driftY) || std::fabs(o.driftX) > 50 || std::fabs(o.driftY) > 50)
        throw Error("drift must be at most 50 pixels per frame");
    if (!finite(o.jitter) || o.jitter < 0 || o.jitter > 1000) throw Error("jitter must be 0 .. 1000 pixels");
    if (!finite(o.blurMin) || !finite(o.blurMax) || o.blurMin < 0 || o.blurMax < o.blurMin || o.blurMax > 50)
        throw Error("blur must be MIN,MAX with 0 <= MIN <= MAX <= 50");
    if (!finite(o.noise) || o.noise < 0 || o.noise > 255) throw Error("noise must be 0 .. 255 levels");
    if (!finite(o.brightness) || o.brightness < 0 || o.brightness > 0.5)
        throw Error("brightness variation must be 0 .. 0.5");
    if (o.fps < 1 || o.fps > 100000) throw Error("fps must be 1 .. 100000");
    if (o.bitDepth != 8 && o.bitDepth != 16) throw Error("depth must be 8 or 16 bits");
    if (o.bitDepth == 16 && !IsSer(o.format))
        throw Error("a depth of 16 bits is for SER captures (fit and tif are always 16-bit, the others 8-bit)");
    if (!finite(o.fullScale) || o.fullScale < 1 || o.fullScale > 65535) throw Error("full scale must be 1 .. 65535 ADU");
    // The whole travel must stay within a scene we can hold in memory.
    const double travel = std::max(std::fabs(o.driftX), std::fabs(o.driftY)) * o.frames + o.jitter;
    if (travel > 4096) throw Error("drift and jitter move the picture more than 4096 pixels");
    if (o.realistic) {
        CheckSensor(o.sensor);
        CheckSeeing(o.seeing);
    }
    for (int d : o.dropped) {
        if (!IsAvi(o.format)) throw Error("dropped frames exist only in AVI captures");
        if (d < 0 || d >= o.frames)
            throw Error("dropped frame " + std::to_string(d) + " is not one of frames 0 .. " +
                        std::to_string(o.frames - 1));
    }
}

CaptureGenerator::CaptureGenerator(const CaptureOptions& options)
    : options_((CheckOptions(options), options)),
      plan_(PlanFor(options_)),
      scene_(CaptureScene(options_, plan_)),
      renderer_(RendererFor(scene_, options_)),
      local_(LocalRendererFor(scene_, options_, plan_)) {}

CaptureOptions RealisticCaptureOptions() {
    CaptureOptions o;
    o.realistic = true;
    o.blurMin = 0.8;
    o.blurMax = 3.5;
    o.jitter = 1.0;
    o.driftX = 0.02;
    o.driftY = 0.01;
    o.brightness = 0.03;
    return o;
}

void CaptureGenerator::RenderFloat(int k, FloatImage& out) {
    const FrameTruth& truth = plan_[std::size_t(k)];
    if (local_) {
        local_->Render(k, truth, out);
        renderer_.Expose(k, out);
    } else {
        renderer_.Render(k, truth, out);
    }
    // Skipped at full scale, so that the usual captures stay byte for byte what they were.
    if (options_.fullScale == 65535) return;
    const float scale = float(options_.fullScale / 65535.0);
    for (float& v : out.data) v *= scale;
}

int64_t SerTimestamp(const CaptureOptions& o, int k) {
    return kSerEpoch2024 + int64_t(std::llround(double(k) * 1e7 / double(o.fps)));
}

Bitmap24 CaptureGenerator::Frame8(int k) {
    FloatImage f;
    RenderFloat(k, f);
    Bitmap24 out;
    ToBitmap24(f, out);
    return out;
}

std::string TruthCsv(const std::vector<FrameTruth>& plan, bool axes) {
    std::string csv = axes ? "frame,dx,dy,sigma,dropped,sigma_x,sigma_y\n" : "frame,dx,dy,sigma,dropped\n";
    for (std::size_t k = 0; k < plan.size(); ++k) {
        const FrameTruth& t = plan[k];
        csv += std::to_string(k) + "," + Fixed(t.dx, 4) + "," + Fixed(t.dy, 4) + "," + Fixed(t.sigma, 4) + "," +
               (t.dropped ? "1" : "0");
        if (axes) csv += "," + Fixed(t.sigmaX, 4) + "," + Fixed(t.sigmaY, 4);
        csv += "\n";
    }
    return csv;
}

void WriteTruthFiles(const std::filesystem::path& dir, const CaptureGenerator& generator) {
    const std::string csv = TruthCsv(generator.plan(), generator.options().realistic);
    WriteWholeFile(dir / "truth.csv", std::span(reinterpret_cast<const uint8_t*>(csv.data()), csv.size()));
    FloatImage truth;
    generator.RenderTruth(truth);
    Bitmap24 picture;
    ToBitmap24(truth, picture);
    WriteWholeFile(dir / "truth.bmp", EncodeBmp24(picture, (dir / "truth.bmp").string()));
    std::vector<uint16_t> words;
    const bool grey = truth.channels == 1;
    ToWords(truth, grey, words);
    WriteWholeFile(dir / "truth.tif", EncodeTiff16(truth.width, truth.height, grey ? 1 : 3, words));
}

namespace {

// A video's truth files go beside it.
std::filesystem::path TruthDirBeside(const std::filesystem::path& video) {
    const std::filesystem::path dir = video.has_parent_path() ? video.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

void WriteAviFrames(CaptureGenerator& gen, const std::filesystem::path& out, CaptureSummary& summary) {
    const CaptureOptions& o = gen.options();
    AviWriterOptions ao;
    ao.width = o.width;
    ao.height = o.height;
    ao.codec = o.format == CaptureFormat::AviGrey    ? AviCodec::Grey8
               : o.format == CaptureFormat::AviMjpeg ? AviCodec::Mjpeg
                                                     : AviCodec::Rgb24;
    ao.rate = o.fps;
    ao.riffLimit = o.riffLimit;
    AviWriter avi(out, ao);
    try {
        FloatImage frame;
        Bitmap24 picture;
        std::vector<uint8_t> grey;
        for (int k = 0; k < o.frames; ++k) {
            if (gen.plan()[std::size_t(k)].dropped) {
                avi.AddDroppedFrame();
                ++summary.dropped;
                continue;
            }
            gen.RenderFloat(k, frame);
            if (ao.codec == AviCodec::Grey8) {
                ToGrey8(frame, grey);
                avi.AddGreyFrame(grey);
            } else {
                ToBitmap24(frame, picture);
                avi.AddFrame(picture);
            }
        }
        avi.Close();
        summary.riffs = avi.Riffs();
    } catch (const Error&) {
        // A half-written AVI (a full disk) would pass for a capture in the next test run.
        avi.Discard();
        throw;
    }
}

void WriteSerFrames(CaptureGenerator& gen, const std::filesystem::path& out) {
    const CaptureOptions& o = gen.options();
    SerWriterOptions so;
    so.width = o.width;
    so.height = o.height;
    so.colour = o.format == CaptureFormat::SerMono  ? SerColour::Mono
                : o.format == CaptureFormat::SerRgb ? SerColour::Rgb
                                                    : SerColour::BayerRggb;
    so.depth = o.bitDepth;
    so.instrument = "talvenor-capture";
    so.telescope = "synthetic " + SceneModeName(o.mode);
    so.dateTime = so.dateTimeUtc = SerTimestamp(o, 0);
    SerWriter ser(out, so);
    try {
        FloatImage frame;
        for (int k = 0; k < o.frames; ++k) {
            gen.RenderFloat(k, frame);
            ser.AddFrame(frame, SerTimestamp(o, k));
        }
        ser.Close();
    } catch (const Error&) {
        ser.Discard();
        throw;
    }
}

void WriteSeriesFrames(CaptureGenerator& gen, const std::filesystem::path& out, CaptureSummary& summary) {
    const CaptureOptions& o = gen.options();
    const SeriesFormat sf = o.format == CaptureFormat::Bmp    ? SeriesFormat::Bmp
                            : o.format == CaptureFormat::Jpeg ? SeriesFormat::Jpeg
                            : o.format == CaptureFormat::Fits ? SeriesFormat::Fits
                                                              : SeriesFormat::Tiff;
    SeriesWriter series(out, sf, o.frames);
    FloatImage frame;
    for (int k = 0; k < o.frames; ++k) {
        gen.RenderFloat(k, frame);
        uint64_t bytes = 0;
        series.Write(k, frame, &bytes);
        summary.bytes += bytes;
    }
}

}  // namespace

CaptureSummary WriteCapture(const std::filesystem::path& out, const CaptureOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    CaptureGenerator gen(options);
    const CaptureOptions& o = gen.options();
    CaptureSummary summary;
    summary.output = out;
    summary.frames = o.frames;
    if (IsAvi(o.format) || IsSer(o.format)) {
        summary.truthDir = TruthDirBeside(out);
        if (IsAvi(o.format)) WriteAviFrames(gen, out, summary);
        else WriteSerFrames(gen, out);
        summary.bytes = std::filesystem::file_size(out);
    } else {
        summary.truthDir = out;
        WriteSeriesFrames(gen, out, summary);
    }
    if (o.writeTruth) WriteTruthFiles(summary.truthDir, gen);
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

std::string CaptureSummary::Describe(const CaptureOptions& o) const {
    std::string text = "wrote " + std::to_string(frames) + " frames";
    if (dropped) text += " (" + std::to_string(dropped) + " dropped)";
    text += ", " + std::to_string(o.width) + " x " + std::to_string(o.height) + " " + SceneModeName(o.mode) + " " +
            (ColourScene(o) ? "colour" : "grey") + ", " + CaptureFormatName(o.format);
    if (IsSer(o.format)) text += " " + std::to_string(o.bitDepth) + "-bit";
    if (o.fullScale != 65535) text += ", full scale " + Fixed(o.fullScale, 0) + " ADU of 65535";
    if (o.realistic) text += ", realistic camera and seeing";
    if (o.realistic && o.seeing.distortion > 0) text += ", distortion " + Fixed(o.seeing.distortion, 2) + " px";
    if (o.realistic && o.seeing.patchiness > 0) text += ", patchiness " + Fixed(o.seeing.patchiness, 2);
    if (riffs > 1) text += " OpenDML (" + std::to_string(riffs) + " RIFFs)";
    text += ", " + Fixed(double(bytes) / (1024.0 * 1024.0), 1) + " MB, to " + output.string();
    if (o.writeTruth) text += "; truth in " + (truthDir / "truth.csv").string();
    text += " (" + Fixed(seconds, 1) + " s)";
    return text;
}

}  // namespace talvenor::capture
