#include "project/project_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <charconv>
#include <cfloat>
#include <cmath>

#include "project/checked_number.h"
#include "project/filter_file.h"
#include "workspace/error.h"
#include "workspace/hsl_labels.h"
#include "workspace/settings_file.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

const char* const kFileTypes[] = {"AVI", "BMP", "FIT", "JPG", "TIF", "PNG"};

std::string Bool01(bool b) { return b ? "1" : "0"; }

int ReadInt(const TBigIniFile& ini, std::string_view section, std::string_view key, int fallback) {
    return IntegerFromText(ini.ReadString(section, key, ""), fallback);
}

constexpr float kAnyFloat = FLT_MAX;  // any finite value
constexpr int kMaxStoredPoints = 100000;
constexpr const char* kControlsSection = "Controls";
constexpr const char* kProcessingSection = "Processing";
constexpr const char* kPointsSection = "AlignmentPoints";

// The keys of section "Processing" that hold floats, in the order ReadProjectProcessing fills them.
constexpr std::size_t kProcessingKeyCount = 11;
const std::array<std::string, kProcessingKeyCount>& ProcessingKeys() {
    static const std::array<std::string, kProcessingKeyCount> keys = {"threshold1", "threshold2", "threshold3",   "threshold4",
                                                     "threshold5", "threshold6", "antiringlevel", "stretchlow",
                                                     "stretchhigh", "graphlow",  "graphhigh"};
    return keys;
}

float ProcessingNumber(const CheckedNumbers& n, const std::string& key, float fallback) {
    return n.Float(kProcessingSection, key, fallback, -kAnyFloat, kAnyFloat);
}

int Percent(int i, int last, int from, int span) {
    return from + int(std::lrint(double(i) / std::max(1, last) * span));
}

}  // namespace

std::string FloatText(float v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

float FloatFromText(std::string_view text, float fallback) {
    std::string t(Trim(text));
    std::replace(t.begin(), t.end(), ',', '.');
    float v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size() && !t.empty() ? v : fallback;
}

int IntegerFromText(std::string_view text, int fallback) {
    std::string_view t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return fallback;
    v = negative ? -v : v;
    return v < INT32_MIN || v > INT32_MAX ? fallback : int(v);
}

std::filesystem::path ProjectPath(std::string_view stored) {
    std::string p(stored);
    std::replace(p.begin(), p.end(), '\\', '/');
    return std::filesystem::path(p);
}

void WriteProjectInput(TBigIniFile& ini, const Workspace& ws, const Controls& f, int activePage) {
    const char* s = kInputSection;
    ini.WriteString(s, "filetype", kFileTypes[std::min<int>(ws.InputType, 5)]);
    ini.WriteString(s, "filedir", f.DirectoryListBox1.Directory);
    if (!ws.IsImageSeries) ini.WriteString(s, "filename", ws.AviFileName);
    if (f.UseDarkFrame.Checked) {
        ini.WriteString(s, "darkfile", ws.DarkFileName);
        ini.WriteString(s, "darkfiletype", std::to_string(ws.DarkFileType));
    }
    if (f.UseFlatfield.Checked) {
        ini.WriteString(s, "flatfile", ws.FlatFileName);
        ini.WriteString(s, "flatfiletype", std::to_string(ws.FlatFileType));
    }
    ini.WriteString(s, "sequencelength", std::to_string(ws.LastFrame + 1));
    ini.WriteString(s, "progstatus", std::to_string(ws.ProgStatus));
    if (activePage >= 0 && activePage <= 4) ini.WriteString(s, "activepage", std::to_string(activePage + 1));
    ini.WriteString(s, "usedframes", std::to_string(ws.SelectedCount));
    ini.WriteString(s, "refframe", std::to_string(ws.ReferenceFrame));
    if (ws.ProgStatus > 3) {
        ini.WriteString(s, "stackslider", std::to_string(f.StackSlider.Value));
        ini.WriteString(s, "stackdifslider", std::to_string(f.differencecutslider.Value));
    }
    if (ws.ProgStatus == 4) {
        const Slider* gains[] = {&f.RxSlider3, &f.RxSlider4, &f.RxSlider5, &f.RxSlider6, &f.RxSlider7, &f.RxSlider8};
        for (int n = 0; n < 6; ++n) ini.WriteString(s, "layer" + std::to_string(n + 1), std::to_string(gains[n]->Value));
        ini.WriteString(s, "initial", std::to_string(std::lrint(f.LevelStep.Value)));
        ini.WriteString(s, "step", std::to_string(std::lrint(f.Multiplicant.Value)));
        ini.WriteString(s, "scaletype", std::to_string(f.Scaletype.ItemIndex));
        ini.WriteString(s, "contrast", std::to_string(f.ContrastSlider.Value));
        ini.WriteString(s, "brightness", std::to_string(f.BrightnessSlider.Value));
    }
    ini.WriteString(s, "hotx", std::to_string(ws.AlignX));
    ini.WriteString(s, "hoty", std::to_string(ws.AlignY));
    ini.WriteString(s, "stackx", std::to_string(ws.StackAlignX));
    ini.WriteString(s, "stacky", std::to_string(ws.StackAlignY));
    ini.WriteString(s, "resampled", f.Resampled.Checked ? "yes" : "no");
    ini.WriteString(s, "resamplevalue", std::to_string(std::lrint(f.ResampleSpin.Value)));
    if (ws.IsImageSeries && ws.IsFits) ini.WriteString(s, "stretchlevels", Bool01(ws.StretchFitsLevels));
    if (ws.IsImageSeries)
        for (int i = 0; i <= ws.LastFrame && i < kMaxFrames; ++i)
            ini.WriteString(s, "im" + std::to_string(i), ProjectPath(ws.FileNames[std::size_t(i)]).filename().string());
}

void WriteProjectFrames(TBigIniFile& ini, const Workspace& ws, bool interlaced, const ProjectProgress& progress) {
    const int last = std::min(ws.LastFrame, kMaxFrameIndex);
    for (int i = 0; i <= last; ++i) {
        if (progress && (i % 64 == 0)) progress(Percent(i, last, 0, 33), 100, "");
        ini.WriteString(kInputSection, "Ex" + std::to_string(i), Bool01(ws.Frames[std::size_t(i)].Excluded));
    }
    for (int i = 0; i <= last; ++i) {
        if (progress && (i % 64 == 0)) progress(Percent(i, last, 33, 33), 100, "-X,Y shifts ");
        const FrameRecord& r = ws.Frames[std::size_t(i)];
        ini.WriteString("Shifts", "X" + std::to_string(i), std::to_string(r.ShiftX));
        ini.WriteString("Shifts", "Y" + std::to_string(i), std::to_string(r.ShiftY));
        ini.WriteString("Shifts", "SX" + std::to_string(i), FloatText(r.SubShiftX));
        ini.WriteString("Shifts", "SY" + std::to_string(i), FloatText(r.SubShiftY));
    }
    for (int i = 0; i <= last; ++i) {
        if (progress && (i % 64 == 0)) progress(Percent(i, last, 66, 33), 100, "-Difference, Quality ");
        const FrameRecord& r = ws.Frames[std::size_t(i)];
        ini.WriteString("Info", "D" + std::to_string(i), FloatText(r.Difference));
        ini.WriteString("Info", "Q" + std::to_string(i), FloatText(r.Quality));
    }
    if (interlaced) {
        for (int i = 0; i <= last; ++i) {
            if (progress && (i % 64 == 0)) progress(Percent(i, last, 0, 50), 100, "-Interlace info ");
            const FrameRecord& r = ws.Frames[std::size_t(i)];
            ini.WriteString("IShifts", "Xa" + std::to_string(i), std::to_string(r.ShiftXa));
            ini.WriteString("IShifts", "Ya" + std::to_string(i), std::to_string(r.ShiftYa));
        }
        for (int i = 0; i <= last; ++i) {
            if (progress && (i % 64 == 0)) progress(Percent(i, last, 50, 50), 100, "-Interlace info ");
            const FrameRecord& r = ws.Frames[std::size_t(i)];
            ini.WriteString("IInfo", "Da" + std::to_string(i), FloatText(r.DifferenceA));
            ini.WriteString("IInfo", "Qa" + std::to_string(i), FloatText(r.QualityA));
        }
    }
    if (progress) progress(100, 100, " Ranking ");
    for (int i = 0; i <= last; ++i)
        ini.WriteString("Ranking", "Rank" + std::to_string(i), std::to_string(ws.Ranking[std::size_t(i)].FrameIndex));
    if (progress) progress(100, 100, " ");
}

void WriteProjectFinish(TBigIniFile& ini, const Controls& f) {
    const char* s = "Finish";
    ini.WriteString(s, "gamma", FormatNumber(f.Gamma1spin.Value));
    ini.WriteString(s, "angle", FormatNumber(f.RxSpinEdit4.Value));
    ini.WriteString(s, "flipx", Bool01(f.FlipX.Checked));
    ini.WriteString(s, "flipy", Bool01(f.FlipY.Checked));
    ini.WriteString(s, "hue", std::to_string(f.HueSlider.Value));
    ini.WriteString(s, "saturation", std::to_string(f.SaturationSlider.Value));
    ini.WriteString(s, "lightness", std::to_string(f.Lightnessslider.Value));
}

void ReadProjectFinish(const TBigIniFile& ini, Controls& f) {
    const char* s = "Finish";
    const auto number = [&](const char* key) { return ParseNumber(ini.ReadString(s, key, "")); };
    if (const auto v = number("gamma")) f.Gamma1spin.SetValue(*v);
    if (const auto v = number("angle")) f.RxSpinEdit4.SetValue(*v);
    f.FlipX.Checked = ReadInt(ini, s, "flipx", f.FlipX.Checked) != 0;
    f.FlipY.Checked = ReadInt(ini, s, "flipy", f.FlipY.Checked) != 0;
    f.HueSlider.SetValue(ReadInt(ini, s, "hue", f.HueSlider.Value));
    f.SaturationSlider.SetValue(ReadInt(ini, s, "saturation", f.SaturationSlider.Value));
    f.Lightnessslider.SetValue(ReadInt(ini, s, "lightness", f.Lightnessslider.Value));
    ShowHslLabels(f);
}

void WriteProjectCrop(TBigIniFile& ini, const FinalState& st, bool cropping) {
    if (!cropping || st.CropLeft < 0) return;
    ini.WriteString("Finish", "crop",
                    std::to_string(st.CropLeft) + "," + std::to_string(st.CropTop) + "," + std::to_string(st.CropRight) +
                        "," + std::to_string(st.CropBottom));
}

std::optional<ProjectCrop> ReadProjectCrop(const TBigIniFile& ini, std::string_view origin) {
    const CheckedNumbers n(ini, origin);
    const std::string text = ini.ReadString("Finish", "crop", "");
    int v[4];
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = k < 3 ? text.find(',', start) : text.size();
        if (comma == std::string::npos) return std::nullopt;
        v[k] = n.IntIn("Finish", "crop", std::string_view(text).substr(start, comma - start), -1, -1, kMaxStoredOffset);
        if (v[k] < 0) return std::nullopt;
        start = comma + 1;
    }
    if (v[2] <= v[0] || v[3] <= v[1]) return std::nullopt;
    return ProjectCrop{v[0], v[1], v[2], v[3]};
}

ProjectInput ReadProjectInput(const TBigIniFile& ini, std::string_view origin) {
    const char* s = kInputSection;
    const CheckedNumbers n(ini, origin);
    ProjectInput p;
    p.fileType = ini.ReadString(s, "filetype", "xxx");
    p.fileDir = ini.ReadString(s, "filedir", "");
    p.fileName = ini.ReadString(s, "filename", "xxxx");
    p.darkFile = ini.ReadString(s, "darkfile", "xxx");
    p.darkFileType = ReadInt(ini, s, "darkfiletype", -1);
    p.flatFile = ini.ReadString(s, "flatfile", "xxx");
    p.flatFileType = ReadInt(ini, s, "flatfiletype", -1);
    p.sequenceLength = n.Int(s, "sequencelength", 0, 0, kMaxFrames);
    const int lastFrame = std::max(0, p.sequenceLength - 1);
    p.progStatus = n.Int(s, "progstatus", 0, 0, 4);
    p.activePage = n.Int(s, "activepage", 0, 0, 5);
    p.usedFrames = n.Int(s, "usedframes", 1, 0, kMaxFrames);
    p.refFrame = n.Int(s, "refframe", 0, 0, lastFrame);
    p.stackSlider = n.Int(s, "stackslider", 0, 0, kMaxFrameIndex);
    p.stackDifSlider = n.Int(s, "stackdifslider", 0, 0, 100);
    p.hotX = n.Int(s, "hotx", 0, -kMaxStoredOffset, kMaxStoredOffset);
    p.hotY = n.Int(s, "hoty", 0, -kMaxStoredOffset, kMaxStoredOffset);
    p.stackX = n.Int(s, "stackx", 0, -kMaxStoredOffset, kMaxStoredOffset);
    p.stackY = n.Int(s, "stacky", 0, -kMaxStoredOffset, kMaxStoredOffset);
    p.resampled = ini.ReadString(s, "resampled", "no") == "yes";
    p.resampleValue = n.Int(s, "resamplevalue", 1, 0, 4);
    if (const int stretch = ReadInt(ini, s, "stretchlevels", -1); stretch >= 0) p.stretchFitsLevels = stretch != 0;
    if (p.fileType != "AVI")
        for (int i = 0; i < p.sequenceLength; ++i) p.images.push_back(ini.ReadString(s, "im" + std::to_string(i), " "));
    return p;
}

namespace {

// One part of the frame table: the detail the progress names and how one frame's keys are read.
struct FramePart {
    const char* detail;
    bool interlacedOnly;
    void (*read)(const CheckedNumbers& n, const std::string& i, FrameRecord& r);
};

int Offset(const CheckedNumbers& n, const char* section, const std::string& key) {
    return n.Int(section, key, 0, -kMaxStoredOffset, kMaxStoredOffset);
}

const FramePart kFrameParts[] = {
    {" - excluded frames", false,
     [](const CheckedNumbers& n, const std::string& i, FrameRecord& r) {
         r.Excluded = uint8_t(n.Int(kInputSection, "Ex" + i, 0, INT_MIN, INT_MAX) != 0);
     }},
    // The sub-pixel shift is the whole shift refined, so it lies in the same range.
    {" - X,Y shifts", false,
     [](const CheckedNumbers& n, const std::string& i, FrameRecord& r) {
         r.ShiftX = Offset(n, "Shifts", "X" + i);
         r.ShiftY = Offset(n, "Shifts", "Y" + i);
         r.SubShiftX = n.Float("Shifts", "SX" + i, 0, -kMaxStoredOffset, kMaxStoredOffset);
         r.SubShiftY = n.Float("Shifts", "SY" + i, 0, -kMaxStoredOffset, kMaxStoredOffset);
     }},
    {" - Quality,Difference", false,
     [](const CheckedNumbers& n, const std::string& i, FrameRecord& r) {
         r.Difference = n.Float("Info", "D" + i, 0, -kAnyFloat, kAnyFloat);
         r.Quality = n.Float("Info", "Q" + i, 0, -kAnyFloat, kAnyFloat);
     }},
    {" - interlaced X,Y", true,
     [](const CheckedNumbers& n, const std::string& i, FrameRecord& r) {
         r.ShiftXa = Offset(n, "IShifts", "Xa" + i);
         r.ShiftYa = Offset(n, "IShifts", "Ya" + i);
     }},
    {" - interlaced info", true,
     [](const CheckedNumbers& n, const std::string& i, FrameRecord& r) {
         r.DifferenceA = n.Float("IInfo", "Da" + i, 0, -kAnyFloat, kAnyFloat);
         r.QualityA = n.Float("IInfo", "Qa" + i, 0, -kAnyFloat, kAnyFloat);
     }},
};

int RankOf(const CheckedNumbers& n, int i, int count) {
    return n.Int("Ranking", "Rank" + std::to_string(i), 1, 0, std::max(0, count - 1));
}

}  // namespace

void ReadProjectFrames(const TBigIniFile& ini, Workspace& ws, int count, bool interlaced, const ProjectProgress& progress) {
    const CheckedNumbers n(ini);
    count = std::min(count, kMaxFrames);
    // Each part of the frame table in turn, the progress naming it.
    // Each part of every frame is one record of the count.
    long long parts = 0;
    for (const FramePart& part : kFrameParts) parts += !part.interlacedOnly || interlaced;
    const long long total = parts * std::max(0, count);
    long long done = 0;
    for (const FramePart& part : kFrameParts) {
        if (part.interlacedOnly && !interlaced) continue;
        for (int i = 0; i < count; ++i, ++done) {
            if (progress && i % 64 == 0) progress(done, total, part.detail);
            part.read(n, std::to_string(i), ws.Frames[std::size_t(i)]);
        }
    }
    if (progress) progress(total, total, "- frame ranking ");
    for (int i = 0; i < count; ++i) {
        RankEntry& e = ws.Ranking[std::size_t(i)];
        e.FrameIndex = std::clamp(RankOf(n, i, kMaxFrames), 0, std::max(0, count - 1));
        e.RankQuality = ws.Frames[std::size_t(e.FrameIndex)].Quality;
    }
    if (progress) progress(total, total, " ");
}

void CheckProjectNumbers(const TBigIniFile& ini, std::string_view origin) {
    const CheckedNumbers n(ini, origin);
    const ProjectInput p = ReadProjectInput(ini, origin);
    FrameRecord scratch;
    for (const FramePart& part : kFrameParts)
        for (int i = 0; i < p.sequenceLength; ++i) part.read(n, std::to_string(i), scratch);
    for (int i = 0; i < p.sequenceLength; ++i) RankOf(n, i, p.sequenceLength);
    ReadProjectArea(ini, origin);
    ReadProjectCrop(ini, origin);
    AlignmentPointState points;
    ReadProjectPoints(ini, points, origin);
    for (const std::string& key : ProcessingKeys()) ProcessingNumber(n, key, 0);
    ReadProjectSharpening(ini, origin);
}

std::span<const std::string> ProjectControlProperties() {
    static const std::vector<std::string> properties = [] {
        std::vector<std::string> v = {"Drizzling.Checked", "Drizzle2.Checked", "Pixfrac.Value", "ResampleSpin.Value",
                                      "ResampleCombo.Text"};
        for (int i = 0; i < kFilterValueCount; ++i) v.push_back(FilterSpinName(i) + ".Value");
        for (const char* spin : {"RDXSpin", "RdySpin", "BDXspin", "BDYSpin"}) v.push_back(std::string(spin) + ".Value");
        for (const char* box : {"RGBSHIFT", "Showred", "ShowGreen", "ShowBlue"}) v.push_back(std::string(box) + ".Checked");
        v.push_back("Denoise.ItemIndex");
        v.push_back("stdevfactor.Value");
        for (const char* box : {"cut1", "cut2", "cut3", "cut4", "cut5", "cut6", "Subtract", "ActiveNoise", "AntiRing"})
            v.push_back(std::string(box) + ".Checked");
        // A slider's range before its value, so the value is not cut to the default range.
        for (const char* slider : {"Noise1", "Noise2", "Noise3", "noise4", "noise5", "noise6", "AntiRingSlider"})
            for (const char* property : {".MinValue", ".MaxValue", ".Value"}) v.push_back(slider + std::string(property));
        v.push_back("AntiRing.Caption");
        for (const char* control : {"RedSlider", "GreenSlider", "blueslider", "Rbalance", "Gbalance", "Bbalance"})
            v.push_back(std::string(control) + ".Value");
        return v;
    }();
    return properties;
}


void WriteProjectPoints(TBigIniFile& ini, const AlignmentPointState& points) {
    if (!points.PlacedByUser) return;
    ini.WriteString(kPointsSection, "size", std::to_string(points.Size));
    ini.WriteString(kPointsSection, "count", std::to_string(points.Points.size()));
    for (std::size_t i = 0; i < points.Points.size(); ++i)
        ini.WriteString(kPointsSection, "P" + std::to_string(i),
                        std::to_string(points.Points[i].X) + "," + std::to_string(points.Points[i].Y));
}

void ReadProjectPoints(const TBigIniFile& ini, AlignmentPointState& points, std::string_view origin) {
    const CheckedNumbers n(ini, origin);
    const int count = n.Int(kPointsSection, "count", -1, -1, kMaxStoredPoints);
    if (count < 0) return;
    const int size = n.Int(kPointsSection, "size", 0, 0, kMaxImageSide);
    std::vector<AlignmentPoint> placed;
    for (int i = 0; i < count; ++i) {
        const std::string key = "P" + std::to_string(i);
        const std::string text = ini.ReadString(kPointsSection, key, "");
        const auto comma = text.find(',');
        if (comma == std::string::npos) continue;
        const int x = n.IntIn(kPointsSection, key, std::string_view(text).substr(0, comma), -1, -1, kMaxStoredOffset);
        const int y = n.IntIn(kPointsSection, key, std::string_view(text).substr(comma + 1), -1, -1, kMaxStoredOffset);
        if (x >= 0 && y >= 0) placed.push_back({x, y});
    }
    points.Reset();
    points.PlacedByUser = true;
    points.Size = size;
    points.Points = std::move(placed);
}

void WriteProjectControls(TBigIniFile& ini, const Controls& f) {
    for (const std::string& property : ProjectControlProperties())
        if (const auto value = f.GetValue(property)) ini.WriteString(kControlsSection, StoredPropertyKey(property), *value);
}

void ReadProjectControls(const TBigIniFile& ini, Controls& f) {
    const std::string absent = "\x01";
    for (const std::string& property : ProjectControlProperties()) {
        const std::string value = ini.ReadString(kControlsSection, StoredPropertyKey(property), absent);
        if (value == absent) continue;
        try {
            f.SetValue(property, value);
        } catch (const Error&) {
            // A value that does not fit its control leaves the control as it is.
        }
    }
}

void WriteProjectProcessing(TBigIniFile& ini, const Workspace& ws, const WaveletState& w) {
    const char* s = kProcessingSection;
    for (int n = 1; n <= kLayers; ++n)
        ini.WriteString(s, "threshold" + std::to_string(n), FloatText(w.NoiseThreshold[std::size_t(n)]));
    ini.WriteString(s, "antiringlevel", FloatText(w.AntiRingLevel));
    ini.WriteString(s, "stretchlow", FloatText(ws.HistLo));
    ini.WriteString(s, "stretchhigh", FloatText(ws.HistHi));
    ini.WriteString(s, "graphlow", FloatText(w.Histogram.HistRangeLo));
    ini.WriteString(s, "graphhigh", FloatText(w.Histogram.HistRangeHi));
    ini.WriteString(s, "arealeft", std::to_string(ws.ProcessAreaLeft));
    ini.WriteString(s, "areatop", std::to_string(ws.ProcessAreaTop));
    ini.WriteString(s, "areawidth", std::to_string(ws.ProcessAreaWidth));
    ini.WriteString(s, "areaheight", std::to_string(ws.ProcessAreaHeight));
}

void ReadProjectProcessing(const TBigIniFile& ini, Workspace& ws, WaveletState& w) {
    const CheckedNumbers n(ini);
    float* targets[] = {&w.NoiseThreshold[1], &w.NoiseThreshold[2], &w.NoiseThreshold[3], &w.NoiseThreshold[4],
                        &w.NoiseThreshold[5], &w.NoiseThreshold[6], &w.AntiRingLevel, &ws.HistLo, &ws.HistHi,
                        &w.Histogram.HistRangeLo, &w.Histogram.HistRangeHi};
    static_assert(std::size(targets) == kProcessingKeyCount);
    for (std::size_t k = 0; k < std::size(targets); ++k) *targets[k] = ProcessingNumber(n, ProcessingKeys()[k], *targets[k]);
}

void WriteProjectSharpening(TBigIniFile& ini, const ProjectSharpening& p) {
    const char* s = kProcessingSection;
    ini.WriteString(s, "sharpening", p.method == 1 ? "deconvolution" : "wavelets");
    ini.WriteString(s, "deconvfilter", p.filter == 1 ? "wiener" : "richardson-lucy");
    ini.WriteString(s, "sigma", std::to_string(p.sigmaHundredths));
    ini.WriteString(s, "iterations", std::to_string(p.iterations));
    ini.WriteString(s, "wienerk", FloatText(p.wienerK));
}

ProjectSharpening ReadProjectSharpening(const TBigIniFile& ini, std::string_view origin) {
    const char* s = kProcessingSection;
    const CheckedNumbers n(ini, origin);
    ProjectSharpening p;
    const std::string method = ToLower(std::string(Trim(ini.ReadString(s, "sharpening", "wavelets"))));
    const std::string filter = ToLower(std::string(Trim(ini.ReadString(s, "deconvfilter", "richardson-lucy"))));
    const std::string& name = n.Origin();
    if (method != "wavelets" && method != "deconvolution")
        throw Error(name + ": [Processing] sharpening must be wavelets or deconvolution, not \"" + method + "\"");
    if (filter != "richardson-lucy" && filter != "wiener")
        throw Error(name + ": [Processing] deconvfilter must be richardson-lucy or wiener, not \"" + filter + "\"");
    p.method = method == "deconvolution" ? 1 : 0;
    p.filter = filter == "wiener" ? 1 : 0;
    p.sigmaHundredths = n.Int(s, "sigma", p.sigmaHundredths, 30, 600);
    p.iterations = n.Int(s, "iterations", p.iterations, 1, 200);
    p.wienerK = n.Float(s, "wienerk", p.wienerK, 0.001f, 1.0f);
    return p;
}

std::optional<ProjectArea> ReadProjectArea(const TBigIniFile& ini, std::string_view origin) {
    const char* s = kProcessingSection;
    const CheckedNumbers n(ini, origin);
    ProjectArea a;
    a.left = n.Int(s, "arealeft", -1, -1, kMaxImageSide);
    a.top = n.Int(s, "areatop", -1, -1, kMaxImageSide);
    a.width = n.Int(s, "areawidth", 0, 0, kMaxImageSide);
    a.height = n.Int(s, "areaheight", 0, 0, kMaxImageSide);
    if (a.left < 0 || a.top < 0 || a.width < 1 || a.height < 1) return std::nullopt;
    return a;
}

}  // namespace talvenor
