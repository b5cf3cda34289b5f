// Alignment pass speed: frames per second for box 32, 64, 128 and 256 on a generated
// 2000-frame 640 x 480 capture (mono and colour AVI), split into the time to decode a frame
// and the time registration adds to it.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "capture/capture.h"
#include "input/avi_file.h"
#include "registration/feature_finder.h"
#include "session/input_selection.h"
#include "session/session.h"
#include "session/startup.h"
#include "workspace/scripted_host.h"

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-align";
    fs::create_directories(dir);
    std::printf("Alignment pass, %d frames of 640 x 480 (from the page cache)\n", frames);
    for (const bool colour : {false, true}) {
        capture::CaptureOptions o;
        o.frames = frames;
        o.format = colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
        o.colour = colour;
        o.writeTruth = false;
        const fs::path file = dir / "capture.avi";
        capture::WriteCapture(file, o);

        Bitmap24 frame;
        const double decode = Seconds([&] {
            AviFile avi(file);
            for (int64_t i = avi.Start(); i < avi.Start() + avi.Length(); ++i) avi.DecodeFrame(i, frame);
        });
        std::printf(" %s AVI: decoding alone %.0f frames/s (%.3f ms/frame)\n", colour ? "colour" : "mono", frames / decode,
                    decode / frames * 1e3);
        for (int item = 0; item < 4; ++item) {
            ScriptedHost host;
            host.RealClock = true;
            host.ShowProgressPictures = false;  // as the command line runs it
            Session s(host);
            StartUpEnvironment env;
            env.CurrentDir = dir;
            env.UserConfigDir = dir / "config";
            StartUp(s, env);
            s.form.FFTsizeGroup.ItemIndex = item;
            s.Dispatch("FFTsizeGroup", Event::Click);
            OpenInput(s, {file.string()}, 1);
            const auto feature =
                FindAlignmentFeature(s.ws.CurrentFrameImage, s.ws.ImageWidth, s.ws.ImageHeight, s.ws.AlignBoxSize, s.ws.LumaWeight);
            EventArgs click;
            click.X = feature->first;
            click.Y = feature->second;
            click.Button = MouseButton::Left;
            s.Dispatch("PreviewImage", Event::MouseDown, click);
            const double pass = Seconds([&] { s.Dispatch("Allignallbutton", Event::Click); });
            const double registration = std::max(0.0, pass - decode) / frames;
            std::printf("   box %3d: %6.0f frames/s   decode %.3f ms + registration %.3f ms per frame   %s\n",
                        s.ws.AlignBoxSize, frames / pass, decode / frames * 1e3, registration * 1e3,
                        registration < decode / frames ? "(registration < decode)" : "(registration > decode)");
        }
        fs::remove(file);
    }
    std::printf("  (target at box 64: registration adds less than the decode time)\n");
    fs::remove_all(dir);
    return 0;
}
