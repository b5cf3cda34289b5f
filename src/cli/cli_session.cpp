#include "cli/cli_session.h"

#include <cmath>
#include <ostream>

#include "cli/output_guard.h"
#include "input/debayer.h"
#include "input/unreadable_frames.h"
#include "session/frame_list_open.h"
#include "session/input_check.h"
#include "session/input_selection.h"
#include "session/startup.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

std::pair<int, int> ParsePair(const std::string& option, const std::string& text) {
    const auto comma = text.find(',');
    auto x = ParseInteger(text.substr(0, comma));
    auto y = comma == std::string::npos ? std::nullopt : ParseInteger(text.substr(comma + 1));
    if (!x || !y) throw Error(option + " needs X,Y in pixels, not \"" + text + "\"");
    return {int(*x), int(*y)};
}

int BoxItem(const std::string& text) {
    const auto n = ParseInteger(text);
    if (n) {
        switch (*n) {
            case 32: return 0;
            case 64: return 1;
            case 128: return 2;
            case 256: return 3;
            default: break;
        }
    }
    throw Error("--box must be 32, 64, 128 or 256, not \"" + text + "\"");
}

// The input dialog's file type of a still image, by its extension (0 for a video).
int StillType(const std::string& path) {
    const int type = InputTypeOfFile(path);
    return type == 1 ? 0 : type;
}

}  // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw Error(a + " needs a value (see talvenor-cli --help)");
            return args[++i];
        };
        if (a == "--feature") o.feature = ParsePair(a, value());
        else if (a == "--box") {
            o.settings.push_back("FFTsizeGroup.ItemIndex=" + std::to_string(BoxItem(value())));
            o.boxGiven = true;
        }
        else if (a == "--shifts-csv") o.shiftsCsv = value();
        else if (a == "--set") {
            o.settings.push_back(value());
            o.boxGiven = o.boxGiven || ToLower(o.settings.back()).rfind("fftsizegroup.", 0) == 0;
        }
        else if (a == "--colour" || a == "--color") o.settings.push_back("ColourStack.Checked=True");
        else if (a == "--mono") o.settings.push_back("ColourStack.Checked=False");
        else if (a == "--deinterlace") o.settings.push_back("Interlaced.Checked=True");
        else if (a == "--bayer") {
            const std::string& pattern = value();
            std::string text = ToLower(pattern);
            if (const auto parsed = ParseBayerPattern(pattern)) text = BayerPatternName(*parsed);
            else if (text != "none" && text != "auto")
                throw Error("--bayer must be none, auto, RGGB, GRBG, GBRG or BGGR, not \"" + pattern + "\"");
            o.settings.push_back("BayerCombo.Text=" + text);
        } else if (a == "--debayer") {
            const std::string& method = value();
            const auto parsed = ParseDebayerMethod(method);
            if (!parsed) throw Error("--debayer must be bilinear or edge, not \"" + method + "\"");
            o.settings.push_back(std::string("DebayerCombo.Text=") + DebayerMethodName(*parsed));
        } else if (a == "--no-track") o.settings.push_back("Followme.Checked=False");
        else if (a == "--no-optimize") o.settings.push_back("AutoOptimize.Checked=False");
        else if (a == "--correlation") {
            const std::string& kind = value();
            if (kind != "cross" && kind != "phase") throw Error("--correlation must be cross or phase");
            o.settings.push_back(std::string("Correlationtype.ItemIndex=") + (kind == "cross" ? "0" : "1"));
        } else if (a == "--json") o.json = true;
        else if (a == "--keep") o.keep = value();
        else if (a == "--project") o.project = value();
        else if (a == "--dark") o.dark = value();
        else if (a == "--flat") o.flat = value();
        else if (a == "--resample") {
            const std::string& factor = value();
            auto v = ParseNumber(factor);
            if (!v || *v < 1 || *v > 4) throw Error("--resample needs a factor from 1 to 4, not \"" + factor + "\"");
            o.settings.push_back("Resampled.Checked=True");
            o.settings.push_back("ResampleSpin.Value=" + factor);
        } else if (a == "--drizzle") {
            o.settings.push_back("Drizzle2.Checked=True");
            o.settings.push_back("Drizzling.Checked=True");
        } else if (a == "--expand") o.settings.push_back("Expandstack.Checked=True");
        else if (a == "--subpixel") o.settings.push_back("SubPixelStack.Checked=True");
        else if (a == "--ap") {
            const std::string& v = value();
            if (v != "on" && v != "off") throw Error("--ap must be on or off, not \"" + v + "\"");
            o.pointsAsked = v == "on";
            o.settings.push_back(std::string("UseAlignmentPoints.Checked=") + (v == "on" ? "True" : "False"));
        } else if (a == "--ap-size") {
            const std::string& v = value();
            const auto n = ParseInteger(v);
            if (!n || (*n != 0 && (*n < 8 || *n > 256)))
                throw Error("--ap-size needs a box side from 8 to 256 pixels (0: automatic), not \"" + v + "\"");
            o.settings.push_back("APSize.Value=" + v);
        } else if (a == "--ap-keep") {
            const std::string& v = value();
            const bool percent = !v.empty() && v.back() == '%';
            const auto n = ParseNumber(percent ? v.substr(0, v.size() - 1) : v);
            if (!n || *n < 1 || (percent && *n > 100) || (!percent && *n != std::floor(*n)))
                throw Error("--ap-keep needs a number of frames or a percentage, not \"" + v + "\"");
            o.settings.push_back("APKeep.Value=" + std::to_string(long(std::lrint(*n))));
            o.settings.push_back(std::string("APKeepPercent.Checked=") + (percent ? "True" : "False"));
        } else if (a == "--ap-min-brightness" || a == "--ap-min-structure") {
            const std::string& v = value();
            const auto n = ParseNumber(v);
            const double top = a == "--ap-min-brightness" ? 100 : 1000;
            if (!n || *n < 0 || *n > top)
                throw Error(a + " needs a percentage from 0 to " + std::to_string(int(top)) + ", not \"" + v + "\"");
            o.settings.push_back((a == "--ap-min-brightness" ? "APMinBrightness.Value=" : "APMinStructure.Value=") + v);
        } else if (a == "--ap-search") {
            const std::string& v = value();
            const auto n = ParseInteger(v);
            if (!n || *n < 1 || *n > 16) throw Error("--ap-search needs a radius from 1 to 16 pixels, not \"" + v + "\"");
            o.settings.push_back("APSearch.Value=" + v);
        } else if (a == "--ap-csv") o.pointsCsv = value();
        else if (a == "-o" || a == "--output") o.output = value();
        else if (a == "--force" || a == "-y") o.force = true;
        else if (!a.empty() && a[0] == '-') throw Error("unknown option " + a + " (see talvenor-cli --help)");
        else o.inputs.push_back(a);
    }
    return o;
}

CliSession::CliSession(std::ostream& err) : err_(err), host_(err) {
    host_.RealClock = true;
    host_.ShowProgressPictures = false;  // nobody looks at the pictures of a pass here
    session_ = std::make_unique<Session>(host_);
    StartUpEnvironment env;
    env.CurrentDir = scratch_.path();
    env.UserConfigDir = scratch_.path() / "config";
    env.ThrowawayFolders = true;
    std::error_code ec;
    env.ProgramFile = fs::read_symlink("/proc/self/exe", ec);
    StartUp(*session_, env);
    // A script's picture is sharpened only as its options say.
    session_->form.AutoSharpenAfterStack.Checked = false;
    session_->OutputSet = &outputs_;
}

// Whatever the command did, the frames it had to leave out are counted once at the end.
CliSession::~CliSession() {
    if (session_)
        if (const std::string skipped = UnreadableSummary(session_->ws); !skipped.empty())
            err_ << "talvenor-cli: " << skipped << "\n";
}

void CliSession::Apply(const std::vector<std::string>& settings) {
    Session& s = *session_;
    for (const std::string& setting : settings) {
        const auto eq = setting.find('=');
        if (eq == std::string::npos) throw Error("--set needs Control.Property=VALUE, not \"" + setting + "\"");
        const std::string target = setting.substr(0, eq);
        s.form.SetValue(target, setting.substr(eq + 1));
        Control& control = s.form.Get(target.substr(0, target.find('.')));
        const bool clicked = control.Kind == ControlKind::CheckBox || control.Kind == ControlKind::RadioGroup ||
                             control.Kind == ControlKind::Button;
        s.Dispatch(control.Name, clicked ? Event::Click : Event::Change);
    }
}

void CliSession::GuardOutputs(const CliOptions& options) {
    host_.Force = options.force;
    std::vector<std::string> inputs = options.inputs;
    for (const std::string* calibration : {&options.dark, &options.flat})
        if (!calibration->empty()) inputs.push_back(*calibration);
    std::vector<OutputFile> outputs;
    if (!options.output.empty()) outputs.push_back({"-o", options.output, true, false});
    if (!options.shiftsCsv.empty()) outputs.push_back({"--shifts-csv", options.shiftsCsv, false, false});
    if (!options.pointsCsv.empty()) outputs.push_back({"--ap-csv", options.pointsCsv, false, false});
    if (!options.project.empty()) outputs.push_back({"--project", options.project, false, true});
    talvenor::GuardOutputs(FilesRead(inputs), outputs, host_);
}

void CliSession::Open(const std::vector<std::string>& inputs) {
    if (inputs.empty()) throw Error("no input given (an AVI file, still images or a frame list)");
    Session& s = *session_;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (!fs::is_regular_file(in, ec)) throw Error(in + ": no such file");
    }
    const std::string first = inputs[0];
    const std::string ext = ToLower(fs::path(first).extension().string());
    if (ext == ".rfl") {
        if (inputs.size() > 1) throw Error("a frame list is opened on its own");
        OpenFrameListFile(s, first);
        return;
    }
    if (ext == ".avi" || ext == ".ser") {
        if (inputs.size() > 1) throw Error("one AVI at a time");
        OpenInput(s, inputs, 1);
    } else {
        const int type = StillType(first);
        if (type == 0) throw Error(first + ": not an AVI, BMP, JPEG, FITS, TIFF or PNG file");
        for (const std::string& in : inputs)
            if (StillType(in) != type) throw Error(in + ": a series holds stills of one type only");
        // The input dialog exchanges its first and last file (see the input selection); hand
        // the files over the same way so the series keeps the order given.
        std::vector<std::string> files = inputs;
        std::swap(files.front(), files.back());
        OpenInput(s, files, type);
    }
    if (s.ws.CurrentFrameImage.Empty()) throw Error(first + ": could not be opened");
}

}  // namespace talvenor
