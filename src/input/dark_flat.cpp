#include "input/dark_flat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/fits_library.h"
#include "workspace/file_bytes.h"
#include "workspace/error.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// A calibration image decoded into planes of its own; it replaces the workspace's only
// once the whole file was read, so a broken file never leaves half an image in use.
struct Decoded {
    std::array<Single2dArray, 3> Planes;
    int Width = 0, Height = 0;

    void Create(int width, int height) {
        Width = width;
        Height = height;
        for (Single2dArray& p : Planes) p.Create(width, height);
    }
    // FITS images are grey: the green and blue planes repeat the red one.
    void CopyFirstPlaneToOthers() {
        for (int y = 0; y < Height; ++y) {
            const float* src = Planes[0].Row(y);
            std::copy(src, src + Width, Planes[1].Row(y));
            std::copy(src, src + Width, Planes[2].Row(y));
        }
    }
};

enum class Kind { Dark, Flat };

struct KindTexts {
    const char* Noun;          // "darkframe" / "flatfield"
    const char* Truncated;     // bitmap above 4096, interactive
    const char* TooLarge;      // FITS above 4096, interactive
};

const KindTexts& TextsFor(Kind kind) {
    static const KindTexts dark{"darkframe", " Warning : darkframe too large , truncated !", " darkframe too large !!"};
    static const KindTexts flat{"flatfield", " Warning: flatfield too large , truncated !", " flatfield too large !!"};
    return kind == Kind::Dark ? dark : flat;
}

struct NormalCursorOnExit {
    Host& host;
    bool active;
    ~NormalCursorOnExit() {
        if (active) host.SetCursor(CursorKind::Default);
    }
};

// Bitmap: each channel byte x 128 into its own plane. Returns the sum of the stored values,
// which the flat field's mean needs.
double DecodeBitmap(AppContext& c, const std::string& path, Kind kind, bool fromProject, Decoded& out) {
    const Bitmap24 picture = ReadBmp(path);
    int width = picture.Width(), height = picture.Height();
    if (width > kMaxImageSide || height > kMaxImageSide) {
        if (!fromProject) c.host.Message(MsgKind::Warning, TextsFor(kind).Truncated, Buttons::Ok);
        width = std::min(width, kMaxImageSide);
        height = std::min(height, kMaxImageSide);
    }
    out.Create(width, height);
    uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = picture.Row(y);
        float* red = out.Planes[0].Row(y);
        float* green = out.Planes[1].Row(y);
        float* blue = out.Planes[2].Row(y);
        uint32_t rowSum = 0;  // at most 4096 x 3 x 255: no overflow
        for (int x = 0; x < width; ++x, p += 3) {
            blue[x] = float(p[0] * 128);
            green[x] = float(p[1] * 128);
            red[x] = float(p[2] * 128);
            rowSum += uint32_t(p[0]) + p[1] + p[2];
        }
        sum += rowSum;
    }
    return double(sum) * 128.0;
}

enum class FitsOutcome { Loaded, TooLarge, Unsupported };

// FITS: sample + BZERO (times 128 for a plain FITS dark) into all three planes. Returns the
// outcome; `sum` receives the sum of the stored values of one plane.
// Images only the FITS library reads (BITPIX 8 or floating point, BSCALE, colour cubes, an
// image in an extension, compressed files) give their physical values, as plain files give
// sample + BZERO: a BITPIX 8 dark of a capture program holds the same levels.
FitsOutcome DecodeFitsThroughLibrary(const std::string& path, double scale, bool fromProject, Decoded& out,
                                     double& sum) {
    const FitsLayout layout = ReadFitsLayout(path);
    if ((layout.Width > kMaxImageSide || layout.Height > kMaxImageSide) && !fromProject) return FitsOutcome::TooLarge;
    const FitsValues v = ReadFitsValues(path);
    const int width = int(std::min<long long>(v.Layout.Width, kMaxImageSide));
    const int height = int(std::min<long long>(v.Layout.Height, kMaxImageSide));
    const std::size_t planeSize = std::size_t(v.Layout.Width) * std::size_t(v.Layout.Height);
    Decoded decoded;
    decoded.Create(width, height);
    double total = 0;
    for (int p = 0; p < 3; ++p) {
        const std::size_t plane = v.Layout.Planes == 3 ? std::size_t(p) : 0;
        for (int k = 0; k < height; ++k) {  // stored rows from the bottom of the picture
            const double* row = v.Values.data() + plane * planeSize + std::size_t(k) * std::size_t(v.Layout.Width);
            float* dst = decoded.Planes[std::size_t(p)].Row(height - 1 - k);
            for (int x = 0; x < width; ++x) {
                const double value = std::isnan(row[x]) ? 0.0 : row[x] * scale;
                dst[x] = float(value);
                if (p == 0) total += value;
            }
        }
    }
    out = std::move(decoded);
    sum = total;
    return FitsOutcome::Loaded;
}

FitsOutcome DecodeFits(const std::string& path, int type, Kind kind, bool fromProject, Decoded& out, double& sum) {
    // Our own ".fitr" files already hold level x 128; a plain FITS dark holds levels.
    const int64_t scale = (kind == Kind::Dark && type == 3) ? 128 : 1;
    if (ChooseFitsReader(ReadFileBytes(path), path) == FitsReaderKind::Library)
        return DecodeFitsThroughLibrary(path, double(scale), fromProject, out, sum);
    const FitsFile file = LoadFitsFile(path);
    const FitsHeader& h = file.Header;
    // Interactive loading refuses an oversized FITS before reading any data; a project
    // takes its top-left 4096 x 4096 (ReadFitsRows cuts the rows).
    if ((h.Width > kMaxImageSide || h.Height > kMaxImageSide) && !fromProject) return FitsOutcome::TooLarge;
    if (!FitsBitpixSupported(h.Bitpix)) return FitsOutcome::Unsupported;

    // Short data is found before 200 MB of planes are allocated for it.
    CheckFitsData(file);
    const int width = std::min(h.Width, kMaxImageSide);
    const int height = std::min(h.Height, kMaxImageSide);
    Decoded decoded;
    decoded.Create(width, height);
    Single2dArray& plane = decoded.Planes[0];
    double total = 0;
    ReadFitsRows(file, width, height, [&](int x, int y, int64_t value) {
        const float v = float(value * scale);
        plane.Put(x, y, v);
        // Summed as stored, so a uniform flat divides by exactly its own value.
        total += v;
    });
    decoded.CopyFirstPlaneToOthers();
    out = std::move(decoded);
    sum = total;
    return FitsOutcome::Loaded;
}

// Every value divided by the mean; a gain that ends as 0 would divide frames by zero.
void Normalise(Decoded& d, double mean) {
    for (Single2dArray& p : d.Planes)
        for (int y = 0; y < d.Height; ++y) {
            float* row = p.Row(y);
            for (int x = 0; x < d.Width; ++x) {
                const float v = float(double(row[x]) / mean);
                row[x] = v == 0.0f ? 0.00001f : v;
            }
        }
}

void LoadCalibration(AppContext& c, const std::string& path, int type, bool fromProject, Kind kind) {
    Controls& f = c.form;
    Workspace& ws = c.ws;
    CheckBox& useBox = kind == Kind::Dark ? f.UseDarkFrame : f.UseFlatfield;
    const KindTexts& texts = TextsFor(kind);

    if (fromProject) {
        useBox.Visible = true;
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            c.host.Message(MsgKind::Warning, std::string("Warning : ") + texts.Noun + " " + path + " missing ",
                           Buttons::Ok);
            useBox.Checked = false;
            return;
        }
    }
    if (type < 1 || type > 3)
        throw Error(path + ": unknown " + texts.Noun + " file type " + std::to_string(type) +
                    " (1 bitmap, 2 special fits, 3 fits)");

    const bool fits = type != 1;
    const bool busy = !fromProject && fits && kind == Kind::Dark && type == 3;
    if (busy) c.host.SetCursor(CursorKind::Busy);
    NormalCursorOnExit restore{c.host, !fromProject};

    Decoded decoded;
    double sum = 0, count = 0;
    if (!fits) {
        sum = DecodeBitmap(c, path, kind, fromProject, decoded);
        count = 3.0 * double(decoded.Width) * double(decoded.Height);
    } else {
        const FitsOutcome outcome = DecodeFits(path, type, kind, fromProject, decoded, sum);
        f.ColourStack.Checked = false;
        if (outcome == FitsOutcome::TooLarge) {
            c.host.SetCursor(CursorKind::Default);
            c.host.Message(MsgKind::Warning, texts.TooLarge, Buttons::Ok);
            // Hidden alone it would stay checked and the stacker would still apply it.
            useBox.Visible = false;
            useBox.Checked = false;
            return;
        }
        if (outcome == FitsOutcome::Unsupported) {
            c.host.SetCursor(CursorKind::Default);
            c.host.Message(MsgKind::Warning, "unsupported fits format", Buttons::Ok);
            return;
        }
        count = double(decoded.Width) * double(decoded.Height);
    }

    if (kind == Kind::Flat) {
        double mean = count > 0 ? sum / count : 0;
        if (mean == 0) mean = 1;
        Normalise(decoded, mean);
    }

    std::array<Single2dArray, 3>& planes = kind == Kind::Dark ? ws.DarkPlanes : ws.FlatPlanes;
    planes = std::move(decoded.Planes);
    if (kind == Kind::Dark) {
        ws.DarkWidth = decoded.Width;
        ws.DarkHeight = decoded.Height;
        ws.DarkFileName = path;
        ws.DarkFileType = type;
    } else {
        ws.FlatWidth = decoded.Width;
        ws.FlatHeight = decoded.Height;
        ws.FlatFileName = path;
        ws.FlatFileType = type;
    }
    useBox.Visible = true;
}

void AskAndLoad(AppContext& c, const char* title, Kind kind) {
    FileDialog& dialog = c.form.OpenDialog;
    DialogSpec spec;
    spec.Title = title;
    spec.Filter = dialog.Filter;
    spec.FilterIndex = dialog.FilterIndex;
    spec.InitialDir = dialog.InitialDir;
    spec.FileName = dialog.FileName;
    const auto choice = c.host.OpenDialog(spec);
    if (!choice || choice->Files.empty()) return;
    dialog.FileName = choice->Files[0];
    dialog.FilterIndex = choice->FilterIndex;
    LoadCalibration(c, dialog.FileName, choice->FilterIndex, false, kind);
}

// The part of a calibration image that is both described (width, height) and allocated:
// the two only disagree if something went wrong elsewhere, and then nothing outside the
// planes may be read.
DarkFlat::Planes PlanesOf(const std::array<Single2dArray, 3>& planes, int width, int height) {
    DarkFlat::Planes p;
    for (const Single2dArray& plane : planes) {
        if (!plane.Allocated()) return p;
        width = std::min(width, plane.Width());
        height = std::min(height, plane.Height());
    }
    // All three share a stride when they have the same width, as every loader makes them.
    if (planes[1].Stride() != planes[0].Stride() || planes[2].Stride() != planes[0].Stride()) return p;
    for (std::size_t c = 0; c < 3; ++c) p.Data[c] = planes[c].Data();
    p.Stride = std::size_t(planes[0].Stride());
    p.Width = std::max(width, 0);
    p.Height = std::max(height, 0);
    return p;
}

// Round to the nearest level (ties to even), then clamp to 0..255. Values far outside the
// byte range are cut first, so the conversion to an integer cannot overflow (a tiny flat
// gain gives huge quotients); NaN ends as 255 rather than anything undefined.
inline uint8_t ClampRounded(float v) {
    v = v < 256.0f ? v : 256.0f;
    v = v > -1.0f ? v : -1.0f;
    const long r = std::lrint(v);
    return uint8_t(r > 254 ? 255 : r <= 0 ? 0 : r);
}

}  // namespace

void LoadDarkFrame(AppContext& c, const std::string& path, int type, bool fromProject) {
    LoadCalibration(c, path, type, fromProject, Kind::Dark);
}

void LoadFlatField(AppContext& c, const std::string& path, int type, bool fromProject) {
    LoadCalibration(c, path, type, fromProject, Kind::Flat);
}

void LoadDarkframeClick(AppContext& c) { AskAndLoad(c, "Load darkframe", Kind::Dark); }

void FlatfieldbuttonClick(AppContext& c) { AskAndLoad(c, "Load flatfield", Kind::Flat); }

DarkFlat DarkFlat::From(const AppContext& c) {
    const Workspace& ws = c.ws;
    DarkFlat d;
    d.Dark = PlanesOf(ws.DarkPlanes, ws.DarkWidth, ws.DarkHeight);
    d.Flat = PlanesOf(ws.FlatPlanes, ws.FlatWidth, ws.FlatHeight);
    d.UseDark = c.form.UseDarkFrame.Checked && d.Dark.Width > 0 && d.Dark.Height > 0;
    d.UseFlat = c.form.UseFlatfield.Checked && d.Flat.Width > 0 && d.Flat.Height > 0;
    return d;
}

void ApplyDarkFlatToImage(AppContext& c) {
    const DarkFlat d = DarkFlat::From(c);
    Bitmap24& frame = c.ws.CurrentFrameImage;
    if (!d.UseDark && !d.UseFlat) return;

    // Rows hold blue, green, red: byte 2 - channel of each pixel belongs to plane `channel`.
    if (d.UseDark) {
        const int width = std::min(frame.Width(), d.Dark.Width);
        const int height = std::min(frame.Height(), d.Dark.Height);
        for (int y = 0; y < height; ++y) {
            uint8_t* p = frame.Row(y);
            const std::size_t row = std::size_t(y) * d.Dark.Stride;
            const float* red = d.Dark.Data[0] + row;
            const float* green = d.Dark.Data[1] + row;
            const float* blue = d.Dark.Data[2] + row;
            for (int x = 0; x < width; ++x, p += 3) {
                p[0] = ClampRounded(float(p[0]) - blue[x] * 0.0078125f);
                p[1] = ClampRounded(float(p[1]) - green[x] * 0.0078125f);
                p[2] = ClampRounded(float(p[2]) - red[x] * 0.0078125f);
            }
        }
    }
    if (d.UseFlat) {
        const int width = std::min(frame.Width(), d.Flat.Width);
        const int height = std::min(frame.Height(), d.Flat.Height);
        for (int y = 0; y < height; ++y) {
            uint8_t* p = frame.Row(y);
            const std::size_t row = std::size_t(y) * d.Flat.Stride;
            const float* red = d.Flat.Data[0] + row;
            const float* green = d.Flat.Data[1] + row;
            const float* blue = d.Flat.Data[2] + row;
            for (int x = 0; x < width; ++x, p += 3) {
                p[0] = ClampRounded(float(p[0]) / blue[x]);
                p[1] = ClampRounded(float(p[1]) / green[x]);
                p[2] = ClampRounded(float(p[2]) / red[x]);
            }
        }
    }
    frame.Touch();
}

}  // namespace talvenor
