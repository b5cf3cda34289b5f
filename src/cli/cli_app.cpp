#include "cli/cli_app.h"

#include <functional>
#include <ostream>
#include <string_view>

#include "cli/align_command.h"
#include "cli/compare_command.h"
#include "cli/convert_command.h"
#include "cli/process_command.h"
#include "cli/project_command.h"
#include "cli/stack_command.h"
#include "cli/info_command.h"
#include "workspace/build_info.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
    std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)> run;
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"info", "info FILE...",
         "Report each file's format, size and depth, the reader that decodes it and what that\n"
         "      changes (floats rescaled, alpha dropped, pages ignored), and its details: BMP\n"
         "      compression, FITS BITPIX/BZERO/BSCALE/NAXIS, TIFF compression/predictor/byte order,\n"
         "      PNG colour type, AVI codec, frame count, dwStart/dwLength, dropped frames\n"
         "      (\"dropped: 3,7\") and OpenDML.",
         RunInfoCommand},
        {"convert", "convert IN OUT [--frame N] [--stretch] [--force]",
         "Read any supported still (or frame N of an AVI or SER) and write it by OUT's extension:\n"
         "      .bmp (24-bit), .jpg, .tif (48-bit), .png (8-bit from 8-bit pictures, else 16-bit)\n"
         "      or .fit (16-bit; colour as _R/_G/_B files). A file that cannot be decoded ends\n"
         "      with the reason and a non-zero exit status.\n"
         "      --stretch spreads a FITS input between its own darkest and brightest values.",
         RunConvertCommand},
        {"align", "align INPUT... [--feature X,Y] [--box 32|64|128|256] [--shifts-csv FILE] [--force] [options]",
         "Open an AVI, still images or a frame list, pick the alignment feature (or find one:\n"
         "      strong detail on both axes, clear of the frame border and of saturated areas)\n"
         "      and run the alignment pass. --shifts-csv writes index, ShiftX, ShiftY, Quality,\n"
         "      Difference, rank, excluded, dropped, SubShiftX and SubShiftY for every frame.",
         RunAlignCommand},
        {"stack", "stack INPUT... -o OUT [--keep N|P%] [--dark F] [--flat F] [--resample F] [--drizzle] [--expand] [--subpixel] [--force]",
         "Align (with the optimizer unless --no-optimize), keep the best frames (by default\n"
         "      the automatic cut of \"Align && stack\"; --keep 50 or --keep 20%), stack them with\n"
         "      the dark frame and flat field given, resampled, drizzled or expanded, and save\n"
         "      by OUT's extension: .bmp, .jpg, .fit (16-bit), .fitr (fixed point), .tif (48-bit)\n"
         "      or .png (48-bit). A single picture needs no stacking and is refused.",
         RunStackCommand},
        {"process", "process INPUT... -o OUT [--keep N|P%] [--dark F] [--flat F] [--resample F] [--drizzle] [--expand] [--force] [wavelet options]",
         "Everything stack does, then the wavelet sharpening of the whole image (or of the\n"
         "      --area square around the feature) with the layer gains, scheme, kernel, contrast,\n"
         "      brightness, gamma and channel shift given, and save the processed image by OUT's\n"
         "      extension: .bmp, .jpg, .fit (16-bit, colour as _R/_G/_B files), .tif or .png\n"
         "      (both 48-bit). A single picture (a stack made earlier, e.g. a 16-bit TIFF, FITS\n"
         "      or PNG) is sharpened as it is, at its full precision, with no alignment feature.",
         RunProcessCommand},
        {"project", "project FILE.rsp|RESULT.fit|RESULT.fitr|RESULT.tif|RESULT.jpg|RESULT.png [-o OUT] [--force]",
         "Open a project as the desktop program does, replaying the work as far as it had come\n"
         "      (reference, ranking, stack, wavelet processing); with -o save the image of the page\n"
         "      it reached by OUT's extension (the stack, the processed or the final picture).\n"
         "      A FITS, TIFF, JPEG or PNG result opens the project it carries (NAME.fit stands for\n"
         "      NAME_R/_G/_B.fit).",
         RunProjectCommand},
        {"compare", "compare IMAGE REFERENCE [--border N]",
         "The PSNR of IMAGE against REFERENCE (e.g. a stack against the truth of a generated\n"
         "      capture), after matching IMAGE's brightness to REFERENCE.",
         RunCompareCommand},
    };
    return commands;
}

// The options align and stack share (they map onto the controls of the form).
constexpr std::string_view kAlignStackOptions =
    "  --colour                    colour processing (ColourStack)\n"
    "  --mono                      grey processing (by default colour follows the input)\n"
    "  --deinterlace               align each field of interlaced frames\n"
    "  --bayer none|auto|RGGB|GRBG|GBRG|BGGR\n"
    "                              raw colour frames: the sensor's filter pattern (auto: from\n"
    "                              the SER or FITS header; a pattern also turns grey AVIs to colour)\n"
    "  --debayer bilinear|edge     how raw colour frames are demosaiced (default edge)\n"
    "  --no-track                  the box does not follow the object\n"
    "  --correlation cross|phase   the correlation formula\n"
    "  --box 32|64|128|256         the alignment box (without it and --feature, a global stack of\n"
    "                              an object over 305 or 610 pixels across aligns on 128 or 256)\n"
    "  --feature X,Y               the alignment feature (else found automatically)\n"
    "  --no-optimize               skip the optimizer after the alignment pass\n"
    "  --shifts-csv FILE           write every frame's shifts, quality and rank\n"
    "  --project FILE.rsp          stack, process: also save the work as a project\n"
    "  --subpixel                  stack: each frame at its sub-pixel shift (SubPixelStack)\n"
    "  --ap on|off                 stack, process: alignment points, each area of the picture\n"
    "                              aligned and stacked from its own sharpest frames (default on;\n"
    "                              not with --drizzle, --resample, --expand or --deinterlace,\n"
    "                              which stack globally, and --ap on refuses them)\n"
    "  --ap-size N                 the points' box side in pixels, 8..256 (0: from the object's size)\n"
    "  --ap-keep N|P%              frames each point stacks (default: as many as the global stack)\n"
    "  --ap-min-brightness B       a box's mean level, percent of the object's bright level [20]\n"
    "  --ap-min-structure X        a box's detail, percent of the typical box's [25]\n"
    "  --ap-search R               how far a point looks around the frame's shift, pixels [4]\n"
    "  --ap-csv FILE               write frame, x, y, dx, dy, quality, used, failed for every\n"
    "                              frame and point (dx, dy: the local shift beyond the global one)\n"
    "  --set Control.Property=V    any control of the form, e.g. --set QualityFilter.Value=14\n"
    "                              (setting the quality band turns the automatic band off)\n"
    "  --json                      a JSON summary instead of the one-line one\n";

// How every command that writes files treats them.
constexpr std::string_view kOutputOptions =
    "  -y, --force                 replace existing output files; without it the question\n"
    "                              \"Overwrite existing file ?\" is answered no and the command\n"
    "                              stops before any work, leaving the file as it is\n"
    "  An output (-o, OUT, --shifts-csv, --ap-csv, --project) that is one of the inputs, a dark\n"
    "  frame or flat field, a frame a frame list names or another output is refused before any\n"
    "  work, whatever its spelling (links, ./x, ../dir/x), --force or not.\n";

bool WritesFiles(std::string_view command) { return command != "info" && command != "compare"; }

bool TakesAlignStackOptions(std::string_view command) {
    return command == "align" || command == "stack" || command == "process";
}

// `talvenor-cli COMMAND --help`.
void PrintCommandHelp(const Command& c, std::ostream& out) {
    out << "Usage: talvenor-cli " << c.usage << "\n\n      " << c.summary << "\n";
    if (TakesAlignStackOptions(c.name)) out << "\nOptions:\n" << kAlignStackOptions;
    if (c.name == "process") out << "\nWavelet options:\n" << kProcessOptions;
    if (WritesFiles(c.name)) out << "\nOutput files:\n" << kOutputOptions;
}

void PrintHelp(std::ostream& out) {
    out << "talvenor-cli " << TALVENOR_VERSION
        << " - the headless twin of Talvenor: registration, stacking and wavelet\n"
           "sharpening of planetary, lunar and solar captures.\n\n"
           "Usage:\n"
           "  talvenor-cli COMMAND [ARGUMENTS]\n"
           "  talvenor-cli --help | --version\n\n"
           "Commands:\n";
    for (const Command& c : Commands()) {
        out << "  " << c.usage << "\n      " << c.summary << "\n";
    }
    out << "\nOptions of align, stack and process:\n" << kAlignStackOptions
        << "\nWavelet options of process:\n" << kProcessOptions
        << "\nOutput files of convert, align, stack, process and project:\n" << kOutputOptions
        << "\nGeneral options:\n"
           "  -h, --help     show this help and exit (after a command: that command's help)\n"
           "  --version      show the program version and exit\n\n"
           "Exit status: 0 on success, 1 when a command fails (the error text is printed),\n"
           "2 for a usage error.\n";
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintHelp(err);
        return 2;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp(out);
        return 0;
    }
    if (first == "--version") {
        out << "talvenor-cli " << TALVENOR_VERSION << "\n";
        return 0;
    }
    for (const Command& c : Commands()) {
        if (c.name != first) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const std::string& a : rest)
            if (a == "--help" || a == "-h") {
                PrintCommandHelp(c, out);
                return 0;
            }
        try {
            return c.run(rest, out, err);
        } catch (const Error& e) {
            err << "talvenor-cli: " << e.what() << "\n";
            return 1;
        } catch (const std::exception& e) {
            err << "talvenor-cli: " << e.what() << "\n";
            return 1;
        }
    }
    err << "talvenor-cli: unknown command '" << first << "' (see talvenor-cli --help)\n";
    return 2;
}

}  // namespace talvenor
