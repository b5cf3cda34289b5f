// talvenor-evaluate: judges a result (a stack) against the truth of a generated capture, next
// to the sharpest single frame and the oracle stack, and judges the frame quality ranking.
// See --help.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace {

using namespace talvenor::capture;

const char* const kHelp =
    "talvenor-evaluate - how close a result comes to the truth of a generated capture.\n"
    "\n"
    "Usage: talvenor-evaluate RESULT --truth DIR [--capture FILE] [--shifts-csv FILE] [options]\n"
    "\n"
    "RESULT is a picture: TIFF (48-bit or any depth read), BMP, JPEG or 16-bit FITS (a colour\n"
    "FITS result NAME.fit is read from NAME_R.fit, NAME_G.fit and NAME_B.fit). DIR holds the\n"
    "truth.tif and truth.csv that talvenor-capture wrote beside the capture.\n"
    "\n"
    "The disk PSNR: the result is registered to the truth by a global shift (whole pixels by\n"
    "correlation, then sub-pixel with the truth moved by Lanczos interpolation), matched by a\n"
    "least-squares gain and offset per channel, and compared inside the planet's limb (its disc,\n"
    "where the truth is brighter than 5 % of its maximum, shrunk by 6 pixels) or, for the Moon\n"
    "and the Sun, over all but a border; the peak is the truth's full scale. A colour truth\n"
    "compares red, green and blue; a grey truth compares luminance.\n"
    "\n"
    "Options:\n"
    "  --truth DIR          where truth.tif and truth.csv are (required)\n"
    "  --capture FILE       the capture (AVI, or the folder of an image series): also report\n"
    "                       the best single frame among the sharpest by true blur, and the\n"
    "                       oracle stack (the sharpest frames by true blur moved back by their\n"
    "                       true shifts and averaged: the ceiling of global alignment)\n"
    "  --shifts-csv FILE    talvenor-cli's --shifts-csv output: also report Spearman's rank\n"
    "                       correlation of the frame quality with the true blur over the\n"
    "                       aligned frames (-1: the quality sorts the frames by sharpness)\n"
    "  --best N             sharpest frames tried for the best frame [5]\n"
    "  --oracle P           share of the frames, by true blur, in the oracle stack, in % [25]\n"
    "  --sharpness          also report the Gaussian blur of the truth that best matches the\n"
    "                       result (smaller is sharper), and for a planet the sky's noise and\n"
    "                       its darkest values against those just outside the limb (a ring)\n"
    "  --json               one JSON object instead of the table\n"
    "  --help               this text\n"
    "\n"
    "Exit status: 0 when judged, 1 when a file cannot be read, 2 for a usage error.\n";

[[noreturn]] void Usage(const std::string& message) {
    std::cerr << "talvenor-evaluate: " << message << "\nTry 'talvenor-evaluate --help'.\n";
    std::exit(2);
}

std::string Json(const PsnrResult& p) {
    char text[160];
    std::snprintf(text, sizeof text, "{\"psnr\": %.3f, \"dx\": %.3f, \"dy\": %.3f, \"pixels\": %ld}", p.psnr, p.dx,
                  p.dy, p.pixels);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> result, truthDir, capture, shifts;
    int best = 5;
    double oracle = 25;
    bool json = false;
    bool sharpness = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) Usage(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (a == "--truth") {
            truthDir = value();
        } else if (a == "--capture") {
            capture = value();
        } else if (a == "--shifts-csv") {
            shifts = value();
        } else if (a == "--best") {
            const auto n = talvenor::ParseInteger(value());
            if (!n || *n < 1 || *n > 1000) Usage("--best needs a number of frames, 1 .. 1000");
            best = int(*n);
        } else if (a == "--oracle") {
            const auto p = talvenor::ParseNumber(value());
            if (!p || !(*p > 0) || *p > 100) Usage("--oracle needs a percentage above 0, at most 100");
            oracle = *p;
        } else if (a == "--sharpness") {
            sharpness = true;
        } else if (a == "--json") {
            json = true;
        } else if (a.rfind("--", 0) == 0) {
            Usage("unknown option " + a);
        } else if (result) {
            Usage("more than one result given ('" + *result + "' and '" + a + "')");
        } else {
            result = a;
        }
    }
    if (!result) Usage("no result given");
    if (!truthDir) Usage("--truth DIR is required");

    try {
        const GroundTruth truth = ReadGroundTruth(*truthDir);
        const FloatImage resultImage = ReadFloatImage(*result);
        const PsnrResult stack = DiskPsnr(resultImage, truth);
        std::optional<BlurMatch> blur;
        std::optional<Background> background;
        if (sharpness) {
            blur = EquivalentBlur(resultImage, truth);
            if (EvaluationMask(truth, MaskKind::Auto) == EvaluationMask(truth, MaskKind::Disk))
                background = BackgroundOf(resultImage, truth);
        }
        std::optional<BestFrame> single;
        std::optional<OracleResult> ceiling;
        if (capture) {
            CaptureFrames frames(*capture);
            const FrameReader read = [&](int k, FloatImage& out) { frames.Read(k, out); };
            single = BestFramePsnr(read, truth, best);
            ceiling = OracleStack(read, truth, oracle / 100);
        }
        std::optional<QualityRanking> ranking;
        if (shifts) ranking = QualityAgainstBlur(ReadShiftsCsv(*shifts), truth.frames);

        if (json) {
            std::string out = "{\"result\": " + Json(stack);
            if (single)
                out += ", \"best_frame\": {\"frame\": " + std::to_string(single->frame) + ", \"sigma\": " +
                       std::to_string(truth.frames[std::size_t(single->frame)].sigma) + ", \"disk\": " +
                       Json(single->psnr) + "}";
            if (ceiling)
                out += ", \"oracle\": {\"frames\": " + std::to_string(ceiling->frames) + ", \"disk\": " +
                       Json(ceiling->psnr) + "}";
            if (blur) {
                char text[96];
                std::snprintf(text, sizeof text, ", \"blur\": {\"sigma\": %.2f, \"disk\": %.4f}", blur->sigma, blur->psnr);
                out += text;
            }
            if (background) {
                char text[160];
                std::snprintf(text, sizeof text, ", \"sky\": {\"std\": %.5f, \"low\": %.5f, \"limb_low\": %.5f}",
                              background->skyStd, background->skyLow, background->limbLow);
                out += text;
            }
            if (ranking) {
                char text[96];
                std::snprintf(text, sizeof text, ", \"spearman\": %.4f, \"spearman_frames\": %d", ranking->spearman,
                              ranking->frames);
                out += text;
            }
            std::cout << out << "}\n";
            return 0;
        }
        std::printf("%-16s %8.2f dB   (shift %+.2f, %+.2f px; %ld pixels judged)\n", "result", stack.psnr, stack.dx,
                    stack.dy, stack.pixels);
        if (blur)
            std::printf("%-16s %8.2f px   (the truth blurred by this Gaussian matches best: %.2f dB)\n", "equivalent blur",
                        blur->sigma, blur->psnr);
        if (background)
            std::printf("%-16s %8.5f      (sky noise; darkest 1 %%: sky %.5f, just outside the limb %.5f)\n",
                        "sky", background->skyStd, background->skyLow, background->limbLow);
        if (single)
            std::printf("%-16s %8.2f dB   (frame %d, true sigma %.2f px)\n", "best frame", single->psnr.psnr,
                        single->frame, truth.frames[std::size_t(single->frame)].sigma);
        if (ceiling)
            std::printf("%-16s %8.2f dB   (mean of the %d sharpest frames by true blur, moved back exactly)\n",
                        "oracle stack", ceiling->psnr.psnr, ceiling->frames);
        if (ranking)
            std::printf("%-16s %8.3f      (Spearman of quality with true blur over %d aligned frames; -1 is ideal)\n",
                        "quality ranking", ranking->spearman, ranking->frames);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "talvenor-evaluate: " << e.what() << "\n";
        return 1;
    }
}
