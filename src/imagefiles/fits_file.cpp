#include "imagefiles/fits_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <type_traits>


#include "imagefiles/fits_library.h"
#include "imagefiles/recipe.h"
#include "workspace/controls.h"
#include "workspace/file_bytes.h"
#include "workspace/host.h"
#include "workspace/read_only_files.h"
#include "workspace/safe_file_set.h"
#include "workspace/text_util.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCardBytes = 80;
constexpr std::size_t kCardsPerBlock = 36;
constexpr std::size_t kBlockBytes = kCardBytes * kCardsPerBlock;  // 2880
// BZERO beyond this would make sample + BZERO inexact in double precision.
constexpr double kLargestExactBzero = 4503599627370496.0;  // 2^52

// Header texts are printable ASCII, and so are card texts in error messages: a binary file
// must not put control bytes there.
std::string AsciiText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    return out;
}

std::string Printable(std::string_view s) { return AsciiText(Trim(s)); }

// The fixed-format value field: after the first "=" up to and including column 30.
std::string_view ValueText(std::string_view card) {
    const std::size_t eq = card.find('=');
    if (eq == std::string_view::npos || eq >= 29) return {};
    return card.substr(eq + 1, 29 - eq);
}

// A quoted string value ('RGGB    '), trimmed and in capitals; empty when there is none.
std::string StringValue(std::string_view card) {
    const std::size_t eq = card.find('=');
    if (eq == std::string_view::npos) return {};
    const std::size_t open = card.find('\'', eq);
    if (open == std::string_view::npos) return {};
    const std::size_t close = card.find('\'', open + 1);
    if (close == std::string_view::npos) return {};
    std::string value(Trim(card.substr(open + 1, close - open - 1)));
    for (char& ch : value) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return value;
}

int IntValue(std::string_view card, std::string_view key, const std::string& name) {
    const std::string_view text = ValueText(card);
    if (Trim(text).empty()) throw Error(name + ": " + std::string(key) + " card has no value before column 31");
    const std::optional<long long> v = ParseInteger(text);
    if (!v) throw Error(name + ": " + std::string(key) + " value '" + Printable(text) + "' is not a whole number");
    if (*v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        throw Error(name + ": " + std::string(key) + " value " + std::to_string(*v) + " is out of range");
    return int(*v);
}

void CheckDataLength(const FitsFile& file, int bytesPerSample) {
    const FitsHeader& h = file.Header;
    const uint64_t needed = uint64_t(h.Width) * uint64_t(h.Height) * uint64_t(bytesPerSample);
    const uint64_t has = file.Bytes.size() > h.DataOffset ? file.Bytes.size() - h.DataOffset : 0;
    if (has < needed)
        throw Error(file.Name() + ": image data ends early (needs " + std::to_string(needed) + " bytes after the " +
                    std::to_string(h.DataOffset) + "-byte header, has " + std::to_string(has) + ")");
}

inline int32_t Sample16(const uint8_t* p) { return int16_t(uint16_t(unsigned(p[0]) << 8 | p[1])); }
inline int32_t Sample32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

template <int Bytes>
inline int32_t SampleAt(const uint8_t* row, int x) {
    return Bytes == 2 ? Sample16(row + 2 * x) : Sample32(row + 4 * x);
}

// The smallest and largest raw sample of the rows and columns read. Eight running extremes
// instead of one keep the comparisons independent, which lets the compiler use vector
// instructions and the processor overlap them.
template <int Bytes>
void RawRange(const FitsFile& file, int width, int height, int32_t& lo, int32_t& hi) {
    // 16-bit samples are compared as 16-bit numbers, for which every vector unit has min and max.
    using Sample = std::conditional_t<Bytes == 2, int16_t, int32_t>;
    constexpr int kLanes = 8;
    Sample mn[kLanes], mx[kLanes];
    for (int j = 0; j < kLanes; ++j) mn[j] = std::numeric_limits<Sample>::max(), mx[j] = std::numeric_limits<Sample>::min();
    for (int k = 0; k < height; ++k) {
        const uint8_t* row = file.StoredRow(k);
        int x = 0;
        for (; x + kLanes <= width; x += kLanes)
            for (int j = 0; j < kLanes; ++j) {
                const Sample s = Sample(SampleAt<Bytes>(row, x + j));
                mn[j] = s < mn[j] ? s : mn[j];
                mx[j] = s > mx[j] ? s : mx[j];
            }
        for (; x < width; ++x) {
            const Sample s = Sample(SampleAt<Bytes>(row, x));
            mn[0] = s < mn[0] ? s : mn[0];
            mx[0] = s > mx[0] ? s : mx[0];
        }
    }
    lo = *std::min_element(mn, mn + kLanes);
    hi = *std::max_element(mx, mx + kLanes);
}

// Nearest integer, ties to even, for |v| < 2^51: adding 1.5 * 2^52 leaves no fraction bits,
// so the addition itself rounds under the default rounding mode. Unlike std::nearbyint this
// stays inline in the per-pixel loop.
inline double RoundEven(double v) {
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
    return (v + kShift) - kShift;
}

// Grey level of a value already scaled to 0..255: 0 for <= 0, 255 above 254.
inline uint8_t GreyLevel(double v) {
    v = v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v);
    return uint8_t(RoundEven(v));
}

// Enough for every 16-bit sample; wider ranges of 32-bit frames are scaled pixel by pixel.
constexpr int64_t kMaxTableEntries = 65536;

// A frame's sample is stored in the plane as the float of sample + BZERO, then both the grey
// level and the rescaled plane value follow from t = (value - minimum) / (range + 1).
struct FrameScale {
    double Bzero = 0, Minimum = 0, Span = 1, PlaneScale = 0;
    friend bool operator==(const FrameScale&, const FrameScale&) = default;

    void Apply(int32_t s, float& value, uint8_t& grey) const {
        // sample + BZERO is exact in double (BZERO stays below 2^52); rounding it to float is
        // what storing it in the plane does.
        const double v = float(double(s) + Bzero);
        const double t = (v - Minimum) / Span;
        grey = GreyLevel(t * 255.0);
        value = float(t * PlaneScale);
    }
};

// The scaled value and grey level (in all four bytes) of every raw sample from Lo to Hi,
// side by side so that a pixel's look-up touches one cache line. Frames of a series share
// their scale when the levels are not stretched, so the table is kept and built once per
// series instead of once per frame.
struct ScaleTable {
    struct Entry {
        float Value;
        uint32_t Grey;
    };
    FrameScale Scale;
    int64_t Lo = 0, Hi = -1;
    std::vector<Entry> Entries;

    bool Covers(const FrameScale& s, int64_t lo, int64_t hi) const { return Scale == s && lo >= Lo && hi <= Hi; }
    void Build(const FrameScale& s, int64_t lo, int64_t hi) {
        Entries.resize(std::size_t(hi - lo + 1));
        for (std::size_t i = 0; i < Entries.size(); ++i) {
            uint8_t g;
            s.Apply(int32_t(lo + int64_t(i)), Entries[i].Value, g);
            Entries[i].Grey = g * 0x01010101u;
        }
        Scale = s;
        Lo = lo;
        Hi = hi;
    }
};

// Stored row k becomes image row height - 1 - k; rows longer than `width` are cut, their
// remaining samples stepped over. The raw samples lie in [lo, hi]; when a table over
// [tableLo, tableHi] (which holds them) is at hand or cheaper than scaling every pixel, the
// pixels are looked up, which spares a division per pixel and gives the very same numbers.
template <int Bytes>
void ConvertRows(const FitsFile& file, int width, int height, const FrameScale& scale, int64_t lo, int64_t hi,
                 int64_t tableLo, int64_t tableHi, Single2dArray& plane, Bitmap24& image) {
    thread_local ScaleTable tables[2];  // one per sample size
    ScaleTable& table = tables[Bytes == 2 ? 0 : 1];
    const int64_t entries = tableHi - tableLo + 1;
    if (!table.Covers(scale, lo, hi)) {
        if (entries > kMaxTableEntries || entries > int64_t(width) * height) {
            for (int k = 0; k < height; ++k) {
                const uint8_t* src = file.StoredRow(k);
                float* values = plane.Row(height - 1 - k);
                uint8_t* out = image.Row(height - 1 - k);
                for (int x = 0; x < width; ++x) {
                    uint8_t g;
                    scale.Apply(SampleAt<Bytes>(src, x), values[x], g);
                    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = g;
                }
            }
            return;
        }
        table.Build(scale, tableLo, tableHi);
    }
    const ScaleTable::Entry* entry = table.Entries.data();
    const int32_t base = int32_t(table.Lo);
    for (int k = 0; k < height; ++k) {
        const uint8_t* src = file.StoredRow(k);
        float* values = plane.Row(height - 1 - k);
        uint8_t* out = image.Row(height - 1 - k);
        int x = 0;
        // Four bytes per pixel are stored and the next pixel overwrites the fourth; the last
        // pixel of a row gets exactly three, so nothing lands in the next row.
        for (; x + 1 < width; ++x) {
            const ScaleTable::Entry& e = entry[SampleAt<Bytes>(src, x) - base];
            values[x] = e.Value;
            std::memcpy(out + 3 * x, &e.Grey, 4);
        }
        const ScaleTable::Entry& e = entry[SampleAt<Bytes>(src, x) - base];
        values[x] = e.Value;
        std::memcpy(out + 3 * x, &e.Grey, 3);
    }
}

// Rounded to the nearest integer (ties to even) and held to [lo, hi], so a stray value can
// never wrap round to the other end of the sample range.
int64_t RoundToRange(double v, int64_t lo, int64_t hi) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, double(lo), double(hi));
    return int64_t(std::nearbyint(v));
}

// Restores the normal cursor however the reader leaves.
struct NormalCursorOnExit {
    Host& host;
    ~NormalCursorOnExit() { host.SetCursor(CursorKind::Default); }
};

// --- writer helpers

std::string ValueCard(std::string_view keyword, std::string_view value) {
    std::string card(keyword);
    if (card.size() + value.size() < 30) card.append(30 - card.size() - value.size(), ' ');
    card += value;
    card.resize(kCardBytes, ' ');
    return card;
}

// A card longer than 80 columns would shift every later card and the data, so long texts are cut.
std::string TextCard(std::string_view text) {
    std::string card(text.substr(0, kCardBytes));
    card.resize(kCardBytes, ' ');
    return card;
}

// KEYWORD = 'text': quotes inside doubled, the text cut so the closing quote stays on the card.
std::string StringCard(std::string_view keyword, std::string_view value) {
    std::string quoted;
    for (char c : AsciiText(value)) {
        const std::size_t need = c == '\'' ? 2 : 1;
        if (10 + 1 + quoted.size() + need + 1 > kCardBytes) break;
        quoted.append(need, c);
    }
    std::string card(keyword);
    card.resize(8, ' ');
    return TextCard(card + "= '" + quoted + "'");
}

// Commentary cards: COMMENT in columns 1-7, the text from column 9; a long text goes on over
// further cards, and an empty one still takes its card.
std::string CommentCards(std::string_view text) {
    const std::string ascii = AsciiText(text);
    constexpr std::size_t kColumns = kCardBytes - 8;
    std::string cards;
    std::size_t at = 0;
    do {
        cards += TextCard("COMMENT " + ascii.substr(at, kColumns));
        at += kColumns;
    } while (at < ascii.size());
    return cards;
}

struct Stamp {
    int Day = 1, Month = 1, Year = 0, Hour = 0, Minute = 0, Second = 0;
};

Stamp StampFor(const TFITParams& params) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    Stamp s{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec};
    if (params.UseCurrentTime) return s;
    if (params.Date >= 0 && std::isfinite(params.Date)) {
        using namespace std::chrono;
        const sys_days day = sys_days{year{1899} / December / 30} + days{int64_t(std::floor(params.Date))};
        const year_month_day ymd{day};
        s.Day = int(unsigned(ymd.day()));
        s.Month = int(unsigned(ymd.month()));
        s.Year = int(ymd.year());
    }
    if (params.Time >= 0 && std::isfinite(params.Time)) {
        // Milliseconds first, like a clock display, then whole seconds.
        int64_t ms = std::llrint((params.Time - std::floor(params.Time)) * 86400000.0);
        ms = std::min<int64_t>(ms, 86399999);
        s.Hour = int(ms / 3600000);
        s.Minute = int(ms / 60000 % 60);
        s.Second = int(ms / 1000 % 60);
    }
    return s;
}

std::string Header(int width, int height, int kind, int bitpix, const TFITParams& params) {
    const Stamp t = StampFor(params);
    // DATE-OBS in the ISO form FITS defines (older files of ours have 'dd/mm/yy'); TIME-OBS
    // repeats the time for the programs that read it from there.
    char date[48], time[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", std::clamp(t.Year, 0, 9999), t.Month % 100,
                  t.Day % 100, t.Hour % 100, t.Minute % 100, t.Second % 100);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.Hour % 100, t.Minute % 100, t.Second % 100);
    std::string h;
    h.reserve(kBlockBytes);
    h += ValueCard("SIMPLE  =", "T");
    h += ValueCard("BITPIX  =", std::to_string(bitpix));
    h += ValueCard("NAXIS   =", "2");
    h += ValueCard("NAXIS1  =", std::to_string(width));
    h += ValueCard("NAXIS2  =", std::to_string(height));
    h += ValueCard("BSCALE  =", "1");
    h += ValueCard("BZERO   =", kind == 2 ? "0" : "32768");
    h += StringCard("DATE-OBS", date);
    h += StringCard("TIME-OBS", time);
    h += StringCard("OBJECT", params.Object);
    h += StringCard("INSTRUME", params.Instrument);
    h += StringCard("EXPOSURE", params.Exposure);
    h += StringCard("OBSERVER", params.Observer);
    h += CommentCards("TALVENOR V2.0");
    h += CommentCards(params.Comment);
    h += RecipeCards(params.Recipe);
    h += TextCard("END");
    h.resize((h.size() + kBlockBytes - 1) / kBlockBytes * kBlockBytes, ' ');  // blank cards up to the block's end
    return h;
}

inline void PutBig16(uint8_t* p, int64_t v) {
    const uint16_t u = uint16_t(v);
    p[0] = uint8_t(u >> 8);
    p[1] = uint8_t(u);
}
inline void PutBig32(uint8_t* p, int64_t v) {
    const uint32_t u = uint32_t(v);
    p[0] = uint8_t(u >> 24);
    p[1] = uint8_t(u >> 16);
    p[2] = uint8_t(u >> 8);
    p[3] = uint8_t(u);
}

}  // namespace

// --- reading

namespace {

// The cards of a header as far as they go, before anything is required of them.
struct HeaderScan {
    FitsHeader Header;
    bool HaveWidth = false, HaveHeight = false, HaveBitpix = false, Ended = false;
    std::size_t Cards = 0;
};

double NumberValue(std::string_view card, std::string_view key, const std::string& name) {
    const std::string_view value = ValueText(card);
    const std::optional<double> v = ParseNumber(value);
    if (!v) throw Error(name + ": " + std::string(key) + " value '" + Printable(value) + "' is not a number");
    return *v;
}

HeaderScan ScanFitsHeader(std::span<const uint8_t> bytes, const std::string& name) {
    HeaderScan scan;
    FitsHeader& h = scan.Header;
    scan.Cards = bytes.size() / kCardBytes;
    const char* text = reinterpret_cast<const char*>(bytes.data());
    for (std::size_t i = 0; i < scan.Cards && !scan.Ended; ++i) {
        const std::string_view card(text + i * kCardBytes, kCardBytes);
        h.CardCount = int(i + 1);
        if (card.starts_with("END")) {
            scan.Ended = true;
        } else if (card.starts_with("NAXIS1")) {
            h.Width = IntValue(card, "NAXIS1", name);
            scan.HaveWidth = true;
        } else if (card.starts_with("NAXIS2")) {
            h.Height = IntValue(card, "NAXIS2", name);
            scan.HaveHeight = true;
        } else if (card.starts_with("NAXIS3")) {
            h.Naxis3 = IntValue(card, "NAXIS3", name);
        } else if (card.starts_with("BZERO ")) {
            const double v = NumberValue(card, "BZERO", name);
            const double rounded = std::nearbyint(v);
            if (std::fabs(rounded) >= 9.2e18)
                throw Error(name + ": BZERO value " + Printable(ValueText(card)) + " is out of range");
            h.Bzero = int64_t(rounded);
            h.BzeroWhole = rounded == v;
        } else if (card.starts_with("BSCALE ")) {
            h.Bscale = NumberValue(card, "BSCALE", name);
        } else if (card.starts_with("BITPIX")) {
            h.Bitpix = IntValue(card, "BITPIX", name);
            scan.HaveBitpix = true;
        } else if (card.starts_with("BAYERPAT")) {
            h.BayerPattern = StringValue(card);
            if (h.BayerPattern != "RGGB" && h.BayerPattern != "GRBG" && h.BayerPattern != "GBRG" &&
                h.BayerPattern != "BGGR")
                h.BayerPattern.clear();
        } else if (card.starts_with("XBAYROFF") || card.starts_with("YBAYROFF")) {
            // Only the parity matters; an unreadable value counts as no shift.
            const std::optional<long long> v = ParseInteger(ValueText(card));
            (card[0] == 'X' ? h.BayerOffsetX : h.BayerOffsetY) = v ? int(*v % 2) : 0;
        } else if (card.starts_with("NAXIS ")) {
            // Only chooses the reader; ours goes by NAXIS1 and NAXIS2.
            const std::optional<long long> v = ParseInteger(ValueText(card));
            h.Naxis = v && *v >= 0 && *v <= 999 ? int(*v) : -1;
        }
    }
    return scan;
}

bool IsGzipped(std::span<const uint8_t> bytes) { return bytes.size() >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B; }

// The sample sizes FITS defines; cfitsio reads each of them.
bool StandardBitpix(int bitpix) {
    return bitpix == 8 || bitpix == 16 || bitpix == 32 || bitpix == 64 || bitpix == -32 || bitpix == -64;
}

}  // namespace

FitsHeader ParseFitsHeader(std::span<const uint8_t> bytes, std::string_view fileName) {
    const std::string name(fileName);
    if (bytes.size() < kCardBytes)
        throw Error(name + ": too short for a FITS header (" + std::to_string(bytes.size()) +
                    " bytes, one header card is 80)");
    HeaderScan scan = ScanFitsHeader(bytes, name);
    FitsHeader& h = scan.Header;
    if (!scan.Ended)
        throw Error(name + ": the header has no END card (" + std::to_string(scan.Cards) + " cards before the end of the file)");
    if (!scan.HaveBitpix) throw Error(name + ": the header has no BITPIX card");
    if (!scan.HaveWidth) throw Error(name + ": the header has no NAXIS1 card");
    if (!scan.HaveHeight) throw Error(name + ": the header has no NAXIS2 card");
    if (h.Width <= 0) throw Error(name + ": NAXIS1 is " + std::to_string(h.Width) + ", not a positive width");
    if (h.Height <= 0) throw Error(name + ": NAXIS2 is " + std::to_string(h.Height) + ", not a positive height");
    // The rest of the END card's block is skipped: data starts on the next 2880-byte boundary.
    const std::size_t blocks = (std::size_t(h.CardCount) + kCardsPerBlock - 1) / kCardsPerBlock;
    h.DataOffset = blocks * kBlockBytes;
    return h;
}

FitsReaderKind ChooseFitsReader(std::span<const uint8_t> bytes, std::string_view fileName) {
    if (IsGzipped(bytes)) return FitsReaderKind::Library;
    const HeaderScan scan = ScanFitsHeader(bytes, std::string(fileName));
    if (!scan.Ended) return FitsReaderKind::Own;  // its error names what is missing
    const FitsHeader& h = scan.Header;
    const bool ours = (h.Naxis == 2 || h.Naxis == -1) && FitsBitpixSupported(h.Bitpix) && h.Bscale == 1 && h.BzeroWhole;
    if (ours) return FitsReaderKind::Own;
    // An empty primary header (NAXIS = 0) is what stands in front of an IMAGE or a
    // tile-compressed extension.
    if (scan.HaveBitpix && StandardBitpix(h.Bitpix) && h.Naxis >= 0) return FitsReaderKind::Library;
    return FitsReaderKind::Own;
}

std::string PictureBayerPattern(const FitsHeader& header) {
    std::string cell = header.BayerPattern;  // top-left 2 x 2: row 0 then row 1
    if (cell.size() != 4) return {};
    if (header.BayerOffsetX != 0) cell = {cell[1], cell[0], cell[3], cell[2]};
    // The picture's top row is the last stored row: with an even height its mosaic row is
    // the other one of the cell.
    const bool flipRows = (header.Height % 2 == 0) != (header.BayerOffsetY != 0);
    if (flipRows) cell = {cell[2], cell[3], cell[0], cell[1]};
    return cell;
}

FitsFile LoadFitsFile(const fs::path& path) {
    FitsFile file;
    file.Path = path;
    file.Bytes = ReadFileBytes(path);
    file.Header = ParseFitsHeader(file.Bytes, file.Name());
    return file;
}

void CheckFitsData(const FitsFile& file) {
    const FitsHeader& h = file.Header;
    if (!FitsBitpixSupported(h.Bitpix))
        throw Error(file.Name() + ": BITPIX " + std::to_string(h.Bitpix) + " is not supported");
    if (std::fabs(double(h.Bzero)) > kLargestExactBzero)
        throw Error(file.Name() + ": BZERO " + std::to_string(h.Bzero) + " is out of range for integer samples");
    CheckDataLength(file, h.Bitpix / 8);
}

void DecodeFitsRow(const FitsFile& file, int k, int count, int64_t* out) {
    const uint8_t* src = file.StoredRow(k);
    const int64_t bzero = file.Header.Bzero;
    if (file.Header.Bitpix == 16) {
        for (int x = 0; x < count; ++x) out[x] = Sample16(src + 2 * x) + bzero;
    } else {
        for (int x = 0; x < count; ++x) out[x] = Sample32(src + 4 * x) + bzero;
    }
}

int FitsChannelFromName(const fs::path& path) {
    const std::string base = path.stem().string();
    std::string pair = base.size() >= 2 ? base.substr(base.size() - 2) : base;
    for (char& c : pair) c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::string lower = ToLower(path.filename().string());
    // Tested in this order; the last one found wins.
    if (lower.find(".red") != std::string::npos) pair = "_R";
    if (lower.find(".green") != std::string::npos) pair = "_G";
    if (lower.find(".blue") != std::string::npos) pair = "_B";
    if (lower.find(".luminance") != std::string::npos) pair = "_L";
    if (pair == "_R") return 0;
    if (pair == "_B") return 2;
    if (pair == "_L") return 3;
    return 1;
}

namespace {

// The frame's levels into FitsPlane and CurrentFrameImage, for a file that passed
// CheckFitsData; sizes above 4096 are cut to their top-left part.
void LevelsIntoWorkspace(Workspace& ws, const FitsFile& file) {
    const FitsHeader& h = file.Header;
    const int width = std::min(h.Width, kMaxImageSide);
    const int height = std::min(h.Height, kMaxImageSide);
    ws.ImageWidth = ws.SourceWidth = width;
    ws.ImageHeight = ws.SourceHeight = height;
    Single2dArray& plane = ws.FitsPlane;
    // Every nominal pixel is rewritten below, so a plane of the right size is reused as is.
    if (!plane.Allocated() || plane.Width() != width || plane.Height() != height) {
        plane.Destroy();
        plane.Create(width, height);
    }

    const double bzero = double(h.Bzero);
    int32_t lo = h.Bitpix == 16 ? -32768 : std::numeric_limits<int32_t>::min();
    int32_t hi = h.Bitpix == 16 ? 32767 : std::numeric_limits<int32_t>::max();
    // Unsigned 16-bit data (BZERO 32768 or more) cannot go below 0, and with fixed levels
    // nothing else needs the extremes.
    const bool needRange = ws.StretchFitsLevels || h.Bitpix != 16 || bzero - 32768 < 0;
    if (needRange) {
        if (h.Bitpix == 16) RawRange<2>(file, width, height, lo, hi);
        else RawRange<4>(file, width, height, lo, hi);
    }
    // Rounding to float keeps order, so the extremes of the values are the values of the extremes.
    double minimum = float(double(lo) + bzero);
    double maximum = float(double(hi) + bzero);
    if (!ws.StretchFitsLevels) {
        if (h.Bitpix == 16) {
            if (minimum < 0) minimum = -32768, maximum = 32768;
            else minimum = 0, maximum = 65536;
        } else {
            if (minimum < 0) minimum = -2147483647.0, maximum = 2147483647.0;
            else minimum = 0, maximum = 2147483646.0;
        }
    }
    const FrameScale scale{bzero, minimum, (maximum - minimum) + 1.0, h.Bitpix == 16 ? 65536.0 : 2147483647.0};

    Bitmap24& image = ws.CurrentFrameImage;
    if (image.Width() != width || image.Height() != height) image.SetSize(width, height);
    if (h.Bitpix == 16) {
        // With fixed levels every frame of the series shares one table over all 16-bit samples.
        const bool shared = !ws.StretchFitsLevels;
        ConvertRows<2>(file, width, height, scale, lo, hi, shared ? -32768 : lo, shared ? 32767 : hi, plane, image);
    } else {
        ConvertRows<4>(file, width, height, scale, lo, hi, lo, hi, plane, image);
    }
    image.Touch();
}

// A grey picture cfitsio decoded, as the BITPIX 16 file with BZERO 32768 that holds the same
// 16-bit samples, so it is levelled exactly as such a file of ours would be.
FitsFile SixteenBitFile(const DecodedImage& image, const fs::path& path, const FitsHeader& primary) {
    FitsFile file;
    file.Path = path;
    FitsHeader& h = file.Header;
    h.Width = image.Width;
    h.Height = image.Height;
    h.Bitpix = 16;
    h.Naxis = 2;
    h.Bzero = 32768;
    h.BayerPattern = primary.BayerPattern;
    h.BayerOffsetX = primary.BayerOffsetX;
    h.BayerOffsetY = primary.BayerOffsetY;
    file.Bytes.resize(std::size_t(image.Width) * std::size_t(image.Height) * 2);
    uint8_t* dst = file.Bytes.data();
    for (int y = image.Height - 1; y >= 0; --y)  // bottom row first
        for (int x = 0; x < image.Width; ++x, dst += 2) PutBig16(dst, int64_t(image.At(x, y, 0)) - 32768);
    return file;
}

// The mosaic cards of a primary header that holds the image itself (not of a gzip file or an
// empty primary in front of an extension); nothing when there is none.
FitsHeader PrimaryMosaic(std::span<const uint8_t> bytes, const std::string& name) {
    if (IsGzipped(bytes)) return {};
    const HeaderScan scan = ScanFitsHeader(bytes, name);
    return scan.Header.Naxis >= 2 ? scan.Header : FitsHeader{};
}

void FollowChannel(Workspace& ws, Controls& f, int channel, std::string bayerPattern) {
    ws.FitsChannel = channel;
    ws.FitsBayerPattern = std::move(bayerPattern);
    if (channel == 3) {
        f.Lumichannel.Visible = true;
        f.LRGB1.Checked = true;
        f.LRGB2.Checked = true;
    }
}

[[noreturn]] void ThrowUnsupported(const FitsFile& file) {
    throw Error(file.Name() + ": unsupported fits format (BITPIX " + std::to_string(file.Header.Bitpix) + ")");
}

// The file for our own reader, everything about it checked.
FitsFile CheckedOwnFile(const fs::path& path, std::vector<uint8_t> bytes) {
    FitsFile file;
    file.Path = path;
    file.Bytes = std::move(bytes);
    file.Header = ParseFitsHeader(file.Bytes, file.Name());
    if (!FitsBitpixSupported(file.Header.Bitpix)) ThrowUnsupported(file);
    CheckFitsData(file);
    return file;
}

}  // namespace

void ReadFitsFrame(Workspace& ws, Controls& f, Host& host, const fs::path& path) {
    const int channel = FitsChannelFromName(path);
    host.SetCursor(CursorKind::Busy);
    NormalCursorOnExit restore{host};

    // Everything that can be wrong with the file is found before the workspace changes, and
    // a file that cannot be read is an error: the previous frame must never stand in for it.
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (ChooseFitsReader(bytes, path.string()) == FitsReaderKind::Own) {
        const FitsFile file = CheckedOwnFile(path, std::move(bytes));
        FollowChannel(ws, f, channel, PictureBayerPattern(file.Header));
        LevelsIntoWorkspace(ws, file);
        return;
    }
    const FitsHeader primary = PrimaryMosaic(bytes, path.string());
    const DecodedImage image = ReadFitsWithLibrary(path);
    if (image.Channels == 3) {
        FollowChannel(ws, f, channel, "");
        ToWideBitmap(image, ws.FrameWide);
        ws.FrameIsWide = true;
        ws.CurrentFrameImage = ws.FrameWide.Picture;
        // The plane holds no part of a colour frame; released, nothing can demosaic or stack
        // it in the frame's place.
        ws.FitsPlane.Destroy();
        ws.ImageWidth = ws.SourceWidth = std::min(image.Width, kMaxImageSide);
        ws.ImageHeight = ws.SourceHeight = std::min(image.Height, kMaxImageSide);
        ws.CurrentFrameImage.Touch();
        return;
    }
    const FitsFile file = SixteenBitFile(image, path, primary);
    FollowChannel(ws, f, channel, PictureBayerPattern(file.Header));
    LevelsIntoWorkspace(ws, file);
}

namespace {

// Our own reader's values (sample + BZERO, rows as stored) in the layout cfitsio gives, so
// both readers' values map to 16 bits the same way.
FitsValues OwnValues(const FitsFile& file) {
    const FitsHeader& h = file.Header;
    CheckDecodedSize(file.Name(), uint64_t(h.Width), uint64_t(h.Height));
    FitsValues v;
    FitsLayout& l = v.Layout;
    l.Bitpix = h.Bitpix;
    l.Naxis = 2;
    l.Width = h.Width;
    l.Height = h.Height;
    l.Bzero = double(h.Bzero);
    if (h.Bitpix == 16) l.EquivalentBitpix = h.Bzero == 32768 ? 20 : 16;  // cfitsio's USHORT_IMG, SHORT_IMG
    else l.EquivalentBitpix = h.Bzero == 2147483648LL ? 40 : 32;           // ULONG_IMG, LONG_IMG
    v.Values.resize(std::size_t(h.Width) * std::size_t(h.Height));
    std::vector<int64_t> row(std::size_t(h.Width));
    for (int k = 0; k < h.Height; ++k) {
        DecodeFitsRow(file, k, h.Width, row.data());
        std::copy(row.begin(), row.end(), v.Values.begin() + std::ptrdiff_t(k) * h.Width);
    }
    return v;
}

// The lowest level to 0 and the highest to 65535, over all channels.
void StretchLevels(DecodedImage& image) {
    if (image.Samples.empty()) return;
    const auto [lo, hi] = std::minmax_element(image.Samples.begin(), image.Samples.end());
    const double low = *lo, span = double(*hi) - double(*lo);
    if (span <= 0) return;
    for (uint16_t& s : image.Samples) s = uint16_t(std::clamp(std::nearbyint((s - low) * 65535.0 / span), 0.0, 65535.0));
    image.Notes.push_back("levels " + std::to_string(int(low)) + " .. " + std::to_string(int(low + span)) +
                          " stretched to full scale");
}

}  // namespace

DecodedImage ReadFitsImage(const fs::path& path, bool stretchLevels) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    DecodedImage image;
    if (ChooseFitsReader(bytes, path.string()) == FitsReaderKind::Own) {
        image = PictureFromFitsValues(OwnValues(CheckedOwnFile(path, std::move(bytes))));
        image.Reader = "Talvenor FITS reader";
    } else {
        image = ReadFitsWithLibrary(path);
    }
    if (stretchLevels) StretchLevels(image);
    return image;
}

// --- writing

void WriteFits(Workspace& ws, Controls& f, Host& host, const fs::path& path, int width, int height, int kind,
               int bitpix, const TFITParams& params, SafeFileSet* set) {
    if (kind < 0 || kind > 2) throw Error(path.string() + ": unknown FITS kind " + std::to_string(kind));
    if (bitpix != 16 && bitpix != 32) throw Error(path.string() + ": BITPIX " + std::to_string(bitpix) + " cannot be written");
    if (kind != 0 && bitpix != 16) throw Error(path.string() + ": this FITS kind is written with 16 bits only");
    if (width <= 0 || height <= 0)
        throw Error(path.string() + ": no image to write (" + std::to_string(width) + " x " + std::to_string(height) + ")");

    fs::path base = path;
    base.replace_extension();
    struct Target {
        int Channel;
        fs::path File;
    };
    std::vector<Target> targets;
    if (f.ColourStack.Checked) {
        const char* suffix[3] = {"_R.fit", "_G.fit", "_B.fit"};
        for (int c = 0; c < 3; ++c) targets.push_back({c, fs::path(base.string() + suffix[c])});
    } else {
        targets.push_back({1, fs::path(base.string() + (kind == 2 ? ".fitr" : ".fit"))});
    }

    // The sources must cover the image; otherwise there is nothing sound to write.
    for (const Target& t : targets) {
        if (kind == 1) {
            const TTIFFBitMap& tiff = ws.StackTiff;
            if (!tiff.HasWide || tiff.Width() < width || tiff.Height() < height)
                throw Error(t.File.string() + ": cannot write, there is no 16-bit result image of " +
                            std::to_string(width) + " x " + std::to_string(height));
        } else {
            const Single2dArray& p = ws.StackSum[std::size_t(t.Channel)];
            if (!p.Allocated() || p.Width() < width || p.Height() < height)
                throw Error(t.File.string() + ": cannot write, there is no stacked image of " + std::to_string(width) +
                            " x " + std::to_string(height) + " for this channel");
        }
    }

    float min = 10000000.0f, max = -10000000.0f, scale = 1.0f;
    if (kind != 1) {
        for (const Target& t : targets) {
            const Single2dArray& p = ws.StackSum[std::size_t(t.Channel)];
            for (int y = 0; y < height; ++y) {
                const float* row = p.Row(y);
                for (int x = 0; x < width; ++x) {
                    max = row[x] > max ? row[x] : max;
                    min = row[x] < min ? row[x] : min;
                }
            }
        }
        scale = float((double(max) - double(min)) * 1.1);
        if (scale == 0.0f) scale = 0.000001f;
    }

    const std::size_t sampleBytes = std::size_t(bitpix / 8);
    const std::size_t dataBytes = std::size_t(width) * std::size_t(height) * sampleBytes;
    const std::size_t paddedBytes = (dataBytes + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    const std::string header = Header(width, height, kind, bitpix, params);

    // The channel files are one save: all are written before any replaces its old file.
    SafeFileSet own;
    SafeFileSet& files = set ? *set : own;
    for (const Target& t : targets) {
        std::error_code ec;
        SafeWriteOptions options;
        if (IsReadOnlyFile(t.File)) {
            if (!ConfirmReadOnlyReplace(host, t.File)) break;  // this channel and every later one stay
            options.ReplaceReadOnly = true;
        } else if (fs::exists(t.File, ec)) {
            const Answer a = host.Message(MsgKind::Confirmation, " Overwrite existing file ( " + t.File.string() + " ) ?",
                                          Buttons::YesNo);
            if (a != Answer::Yes) break;  // this channel and every later one stay as they are
        }
        std::vector<uint8_t> out(header.size() + paddedBytes, 0);
        std::memcpy(out.data(), header.data(), header.size());
        uint8_t* dst = out.data() + header.size();
        const double lo = min, sc = scale;
        for (int y = height - 1; y >= 0; --y) {  // bottom row first
            if (kind == 1) {
                for (int x = 0; x < width; ++x, dst += 2)
                    PutBig16(dst, int64_t(ws.StackTiff.Sample(x, y, t.Channel)) - 32768);
                continue;
            }
            const float* row = ws.StackSum[std::size_t(t.Channel)].Row(y);
            if (kind == 2) {
                // Fixed point with 7 fraction bits, held to the 16-bit range.
                for (int x = 0; x < width; ++x, dst += 2) PutBig16(dst, RoundToRange(double(row[x]) * 128.0, -32768, 32767));
            } else if (bitpix == 16) {
                for (int x = 0; x < width; ++x, dst += 2)
                    PutBig16(dst, RoundToRange(((double(row[x]) - lo) / sc - 0.5) * 65535.0, -32768, 32767));
            } else {
                for (int x = 0; x < width; ++x, dst += 4)
                    PutBig32(dst, RoundToRange(((double(row[x]) - lo) / sc - 0.5) * 2147483647.0 * 2.0,
                                               std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
            }
        }
        files.Add(t.File, options).Write(out.data(), out.size());
    }
    if (!set) own.Commit();
}

// --- information

namespace {

std::string NumberText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// What decoding the file gives, or why it is refused: a file `info` describes need not be one
// the readers take.
std::string DecodingOf(const fs::path& path) {
    try {
        return DescribeDecoding(ReadFitsImage(path, false));
    } catch (const Error& e) {
        std::string reason = e.what();
        const std::string prefix = path.string() + ": ";
        if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
        return "refused (" + reason + ")";
    }
}

}  // namespace

FileInfo ProbeFits(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    FileInfo info;
    info.Format = "FITS";
    if (ChooseFitsReader(bytes, path.string()) == FitsReaderKind::Library) {
        const FitsLayout l = ReadFitsLayout(path);
        info.Width = int(std::min<long long>(l.Width, std::numeric_limits<int>::max()));
        info.Height = int(std::min<long long>(l.Height, std::numeric_limits<int>::max()));
        info.Bits = l.Bitpix < 0 ? -l.Bitpix : l.Bitpix;
        info.Details = {
            {"BITPIX", std::to_string(l.Bitpix)},
            {"BZERO", NumberText(l.Bzero)},
            {"BSCALE", NumberText(l.Bscale)},
            {"NAXIS", std::to_string(l.Naxis)},
            {"NAXIS3", l.Naxis >= 3 ? std::to_string(l.Planes) : std::string("absent")},
            {"reader", "cfitsio"},
            {"HDU", l.Hdu == 0 ? std::string("primary") : "extension " + std::to_string(l.Hdu)},
            {"compression", l.Compression.empty() ? std::string("none") : l.Compression},
            {"decoding", DecodingOf(path)},
        };
        return info;
    }
    FitsFile file;
    file.Path = path;
    file.Bytes = bytes;
    file.Header = ParseFitsHeader(file.Bytes, file.Name());
    const FitsHeader& h = file.Header;
    const int64_t bits = h.Bitpix < 0 ? -int64_t(h.Bitpix) : int64_t(h.Bitpix);
    if (bits == 8 || bits == 16 || bits == 32 || bits == 64) CheckDataLength(file, int(bits / 8));
    info.Width = h.Width;
    info.Height = h.Height;
    info.Bits = int(std::min<int64_t>(bits, std::numeric_limits<int>::max()));
    info.Details = {
        {"BITPIX", std::to_string(h.Bitpix)},
        {"BZERO", std::to_string(h.Bzero)},
        {"BSCALE", NumberText(h.Bscale)},
        {"NAXIS", h.Naxis >= 0 ? std::to_string(h.Naxis) : std::string("absent")},
        {"NAXIS3", h.Naxis3 > 0 ? std::to_string(h.Naxis3) : std::string("absent")},
        {"header cards", std::to_string(h.CardCount)},
        {"data offset", std::to_string(h.DataOffset)},
        {"reader", "Talvenor FITS reader"},
        {"HDU", "primary"},
        {"compression", "none"},
        {"decoding", DecodingOf(path)},
    };
    return info;
}

}  // namespace talvenor
