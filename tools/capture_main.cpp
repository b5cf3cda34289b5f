// talvenor-capture: writes a synthetic capture with known shifts and blurs, for the demo,
// the tests and the benchmarks. See --help.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace {

using talvenor::capture::CaptureOptions;

const char* const kHelp =
    "talvenor-capture - writes a synthetic capture of a planet, the Moon or the Sun with known\n"
    "shifts and blurs, for testing and benchmarking registration and stacking.\n"
    "\n"
    "Usage: talvenor-capture OUT [options]\n"
    "\n"
    "OUT is the AVI or SER file to write, or for image series the directory that receives\n"
    "capture_00001.<ext>, capture_00002.<ext>, ... (frame 0 is capture_00001); use a new\n"
    "directory, as the frames of an earlier, longer capture there are not removed.\n"
    "Beside the capture (in the video's directory, or in the series directory) go truth.csv\n"
    "(frame,dx,dy,sigma,dropped: frame k shows the scene moved right by dx and down by dy\n"
    "pixels relative to frame 0, blurred by a Gaussian of sigma pixels), truth.bmp and\n"
    "truth.tif (the scene without blur or noise, where frame 0 sees it). Realistic captures\n"
    "add the columns sigma_x,sigma_y (the blur along each axis; sigma = sqrt(sigma_x sigma_y)).\n"
    "\n"
    "Options (defaults in brackets):\n"
    "  --mode planet|moon|sun    the scene [planet]\n"
    "  --format F                avi-rgb (24-bit DIB), avi-grey (8-bit DIB), avi-mjpeg,\n"
    "                            bmp, jpg, fit (16-bit FITS), tif (16/48-bit TIFF),\n"
    "                            ser-mono, ser-rgb, ser-bayer (SER video; the Bayer one is\n"
    "                            the RGGB mosaic of the colour scene) [avi-rgb]\n"
    "  --frames N                number of frames [300]\n"
    "  --size WxH                frame size in pixels [640x480]\n"
    "  --seed S                  the same seed gives the same bytes [1]\n"
    "  --drift DX,DY             steady drift in pixels per frame [0.05,0.03]\n"
    "  --jitter A                random shift of up to A pixels on each axis [2.5]\n"
    "  --blur MIN,MAX            range of the per-frame seeing sigma in pixels [0.6,2.5]\n"
    "  --noise N                 noise in 8-bit levels at full brightness [2] (not with\n"
    "                            --realistic, whose camera sets the noise)\n"
    "  --brightness B            frame brightness varies by up to +/- B (0..0.5) [0]\n"
    "  --dropped 3,7,...         AVI only: write these frames (0-based) as dropped frames\n"
    "  --colour                  a colour scene (grey formats still store its luminance)\n"
    "  --fps F                   frame rate of the AVI header and the SER timestamps [30]\n"
    "  --riff-mb M               AVI: start a new OpenDML RIFF part every M MB [1024]\n"
    "  --depth 8|16              SER: bits per sample; 16 keeps the frame's full precision [8]\n"
    "  --full-scale ADU          the 16-bit ADU full brightness reaches (1..65535): the frames,\n"
    "                            noise and black level included, are scaled down as by a lower\n"
    "                            camera gain; a few hundred makes a faint capture whose 8-bit\n"
    "                            rendering is only a few levels deep [65535]\n"
    "  --no-truth                do not write truth.csv and the truth images\n"
    "  --help                    this text\n"
    "\n"
    "The realistic model (a real camera under real seeing):\n"
    "  --realistic               photon noise (its variance is the signal in electrons), read\n"
    "                            noise and a black level instead of --noise; seeing that\n"
    "                            wanders over a few frames and differs between x and y;\n"
    "                            pointing that random-walks; --jitter is then the standard\n"
    "                            deviation of the tip-tilt jump. Its defaults: --seeing 0.8,3.5\n"
    "                            --jitter 1 --drift 0.02,0.01 --brightness 0.03 and the values\n"
    "                            below. Options given on the command line win over them.\n"
    "  --gain E                  electrons per ADU [3]\n"
    "  --read-noise E            read noise in electrons [3]\n"
    "  --pedestal ADU            black level, 8-bit ADU [4]\n"
    "  --peak ADU                ADU above the black level of the brightest scene value [200]\n"
    "  --seeing MIN,MAX          range of the effective seeing sigma, pixels (same as --blur)\n"
    "  --seeing-frames N         correlation time of the seeing, frames [3]\n"
    "  --anisotropy A            sigma_x / sigma_y within 1/(1+A) .. 1+A [0.3]\n"
    "  --walk P                  random-walk step of the pointing, pixels per frame [0.15]\n"
    "  --distort A               each area of the frame moves on its own: a smooth random\n"
    "                            displacement of A pixels rms on each axis (0..8) that changes\n"
    "                            over an eighth of the object (the planet's diameter, or the\n"
    "                            smaller frame side for the Moon and Sun), new every frame [0]\n"
    "  --patchy P                the blur differs across the frame: the local sigma is the\n"
    "                            frame's times exp(P g), g a smooth random field of unit rms\n"
    "                            changing over a third of the object, new every frame (0..1) [0]\n"
    "With --distort and --patchy, truth.csv still gives each frame's global shift and blur\n"
    "(the displacement averages to zero over the frame, the local sigmas to the frame's in\n"
    "their geometric mean).\n"
    "The realistic-only options need --realistic. 16-bit outputs (fit, tif, SER with\n"
    "--depth 16) hold the same ADU times 257.\n";

[[noreturn]] void Usage(const std::string& message) {
    std::cerr << "talvenor-capture: " << message << "\nTry 'talvenor-capture --help'.\n";
    std::exit(2);
}

double Number(const std::string& option, std::string_view text) {
    const auto v = talvenor::ParseNumber(text);
    if (!v) Usage(option + " expects a number, not '" + std::string(text) + "'");
    return *v;
}

long long Integer(const std::string& option, std::string_view text) {
    const auto v = talvenor::ParseInteger(text);
    if (!v) Usage(option + " expects a whole number, not '" + std::string(text) + "'");
    return *v;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

void Pair(const std::string& option, std::string_view text, char sep, double& a, double& b) {
    const auto parts = Split(text, sep);
    if (parts.size() != 2) Usage(option + " expects two numbers separated by '" + std::string(1, sep) + "'");
    a = Number(option, parts[0]);
    b = Number(option, parts[1]);
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> out;
    std::vector<std::string> args(argv + 1, argv + argc);
    // --realistic chooses the defaults, wherever it stands: the other options then adjust them.
    bool realistic = false;
    for (const std::string& a : args) realistic = realistic || a == "--realistic";
    CaptureOptions o = realistic ? talvenor::capture::RealisticCaptureOptions() : CaptureOptions{};
    auto needRealistic = [&](const std::string& option) {
        if (!realistic) Usage(option + " belongs to the realistic model: add --realistic");
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        }
        if (arg.rfind("--", 0) != 0) {
            if (out) Usage("more than one output given ('" + *out + "' and '" + arg + "')");
            out = arg;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto flag = [&] {
            if (inlineValue) Usage(arg + " takes no value");
        };
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) Usage(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--mode") {
            const std::string v = value();
            const auto mode = talvenor::capture::ParseSceneMode(v);
            if (!mode) Usage("unknown mode '" + v + "' (planet, moon or sun)");
            o.mode = *mode;
        } else if (arg == "--format") {
            const std::string v = value();
            const auto format = talvenor::capture::ParseCaptureFormat(v);
            if (!format)
                Usage("unknown format '" + v +
                      "' (avi-rgb, avi-grey, avi-mjpeg, bmp, jpg, fit, tif, ser-mono, ser-rgb or ser-bayer)");
            o.format = *format;
        } else if (arg == "--frames") {
            const long long n = Integer(arg, value());
            if (n < 1 || n > 1000000) Usage("--frames must be 1 .. 1000000");
            o.frames = int(n);
        } else if (arg == "--size") {
            const std::string v = talvenor::ToLower(value());
            double w = 0, h = 0;
            Pair(arg, v, 'x', w, h);
            if (w != std::floor(w) || h != std::floor(h) || w < 8 || h < 8 || w > 8192 || h > 8192)
                Usage("--size expects WxH, each 8 .. 8192");
            o.width = int(w);
            o.height = int(h);
        } else if (arg == "--seed") {
            const long long s = Integer(arg, value());
            o.seed = uint64_t(s);
        } else if (arg == "--drift") {
            Pair(arg, value(), ',', o.driftX, o.driftY);
        } else if (arg == "--jitter") {
            o.jitter = Number(arg, value());
        } else if (arg == "--blur") {
            Pair(arg, value(), ',', o.blurMin, o.blurMax);
        } else if (arg == "--noise") {
            if (realistic) Usage("--noise belongs to the simple model; the realistic camera's noise comes from --gain and --read-noise");
            o.noise = Number(arg, value());
        } else if (arg == "--brightness") {
            o.brightness = Number(arg, value());
        } else if (arg == "--dropped") {
            o.dropped.clear();
            for (std::string_view part : Split(value(), ','))
                if (!talvenor::Trim(part).empty()) o.dropped.push_back(int(Integer(arg, part)));
        } else if (arg == "--colour" || arg == "--color") {
            flag();
            o.colour = true;
        } else if (arg == "--fps") {
            const long long f = Integer(arg, value());
            if (f < 1 || f > 100000) Usage("--fps must be 1 .. 100000");
            o.fps = uint32_t(f);
        } else if (arg == "--riff-mb") {
            const long long mb = Integer(arg, value());
            if (mb < 1 || mb > 2048) Usage("--riff-mb must be 1 .. 2048");
            o.riffLimit = uint64_t(mb) << 20;
        } else if (arg == "--depth") {
            const long long d = Integer(arg, value());
            if (d != 8 && d != 16) Usage("--depth must be 8 or 16");
            o.bitDepth = int(d);
        } else if (arg == "--full-scale") {
            o.fullScale = Number(arg, value());
            if (!(o.fullScale >= 1 && o.fullScale <= 65535)) Usage("--full-scale must be 1 .. 65535");
        } else if (arg == "--no-truth") {
            flag();
            o.writeTruth = false;
        } else if (arg == "--realistic") {
            flag();
        } else if (arg == "--seeing") {
            needRealistic(arg);
            Pair(arg, value(), ',', o.blurMin, o.blurMax);
        } else if (arg == "--gain") {
            needRealistic(arg);
            o.sensor.gain = Number(arg, value());
        } else if (arg == "--read-noise") {
            needRealistic(arg);
            o.sensor.readNoise = Number(arg, value());
        } else if (arg == "--pedestal") {
            needRealistic(arg);
            o.sensor.pedestal = Number(arg, value());
        } else if (arg == "--peak") {
            needRealistic(arg);
            o.sensor.peak = Number(arg, value());
        } else if (arg == "--seeing-frames") {
            needRealistic(arg);
            o.seeing.correlationFrames = Number(arg, value());
        } else if (arg == "--anisotropy") {
            needRealistic(arg);
            o.seeing.anisotropy = Number(arg, value());
        } else if (arg == "--walk") {
            needRealistic(arg);
            o.seeing.walk = Number(arg, value());
        } else if (arg == "--distort") {
            needRealistic(arg);
            o.seeing.distortion = Number(arg, value());
        } else if (arg == "--patchy") {
            needRealistic(arg);
            o.seeing.patchiness = Number(arg, value());
        } else {
            Usage("unknown option " + arg);
        }
    }
    if (!out) Usage("no output given");
    try {
        const auto summary = talvenor::capture::WriteCapture(*out, o);
        std::cout << "talvenor-capture: " << summary.Describe(o) << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "talvenor-capture: " << e.what() << "\n";
        return 1;
    }
}
