// FITS reading is checked against files astropy wrote (values known from the .txt beside
// each), hand-made headers for the card rules, and the malformed files in corrupt/;
// writing is checked byte by byte and read back by astropy when it is installed.
#include "imagefiles/fits_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/controls.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using talvenor::testing::TempDir;

const fs::path kFits = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/fits";
const fs::path kCorrupt = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corrupt";

struct Env {
    Workspace ws;
    Controls f;
    ScriptedHost host;
};

// Rows as stored: the first is the bottom row of the picture.
std::vector<std::vector<int64_t>> ReadValues(const fs::path& txt) {
    std::ifstream in(txt);
    std::vector<std::vector<int64_t>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream s(line);
        rows.emplace_back();
        for (int64_t v; s >> v;) rows.back().push_back(v);
    }
    return rows;
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Card(std::string text) {
    text.resize(80, ' ');
    return text;
}

// A file from header cards (END added) and big-endian samples of `bytes` bytes in stored order.
std::vector<uint8_t> MakeFits(const std::vector<std::string>& cards, const std::vector<int64_t>& samples = {},
                              int bytes = 2) {
    std::string h;
    for (const std::string& c : cards) h += Card(c);
    h += Card("END");
    h.resize((h.size() + 2879) / 2880 * 2880, ' ');
    std::vector<uint8_t> out(h.begin(), h.end());
    for (int64_t s : samples)
        for (int b = bytes - 1; b >= 0; --b) out.push_back(uint8_t(uint64_t(s) >> (8 * b)));
    return out;
}

std::string Value(const std::string& key, const std::string& value) {
    std::string card = key;
    card.resize(8, ' ');
    card += "= ";
    return card + std::string(20 - std::min<std::size_t>(20, value.size()), ' ') + value;
}

std::vector<std::string> ImageCards(int bitpix, int w, int h, int64_t bzero = 0) {
    return {Value("SIMPLE", "T"),         Value("BITPIX", std::to_string(bitpix)), Value("NAXIS", "2"),
            Value("NAXIS1", std::to_string(w)), Value("NAXIS2", std::to_string(h)),      Value("BZERO", std::to_string(bzero))};
}

// Checks FitsPlane and CurrentFrameImage against the levels computed from the file's values
// (sample + BZERO, rows in stored order); returns the first difference, empty when none.
std::string LevelMismatch(const Env& e, const std::vector<std::vector<int64_t>>& rows, int bitpix, bool stretch) {
    const int w = int(rows[0].size()), h = int(rows.size());
    if (e.ws.ImageWidth != w || e.ws.SourceHeight != h || e.ws.CurrentFrameImage.Width() != w ||
        e.ws.FitsPlane.Height() != h)
        return "wrong size";
    double lo = 1e300, hi = -1e300;
    for (const auto& r : rows)
        for (int64_t v : r) lo = std::min(lo, double(float(v))), hi = std::max(hi, double(float(v)));
    if (!stretch) {
        const bool neg = lo < 0;
        if (bitpix == 16) lo = neg ? -32768 : 0, hi = neg ? 32768 : 65536;
        else lo = neg ? -2147483647.0 : 0, hi = neg ? 2147483647.0 : 2147483646.0;
    }
    const double full = bitpix == 16 ? 65536.0 : 2147483647.0;
    for (int k = 0; k < h; ++k)
        for (int x = 0; x < w; ++x) {
            const double t = (double(float(rows[k][x])) - lo) / (hi - lo + 1);
            const double g = std::nearbyint(t * 255);
            const int y = h - 1 - k;  // the first row stored is the bottom row
            const uint8_t grey = uint8_t(g <= 0 ? 0 : g > 254 ? 255 : g);
            if (e.ws.CurrentFrameImage.Pixel(x, y) != Bgr{grey, grey, grey} || e.ws.FitsPlane.Get(x, y) != float(t * full))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " of value " + std::to_string(rows[k][x]);
        }
    return "";
}

TEST(FitsFile, AstropyFilesReadToTheirValues) {
    struct Case {
        const char* name;
        int bitpix;
        int64_t bzero;
        std::size_t dataOffset;
    };
    const Case cases[] = {{"u16", 16, 32768, 2880}, {"i16", 16, 0, 2880},        {"i32", 32, 0, 2880},
                          {"u32", 32, 2147483648LL, 2880}, {"cards40", 16, 0, 5760}};
    for (const Case& c : cases) {
        for (bool stretch : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (stretch ? " stretched" : " fixed range"));
            const auto rows = ReadValues(kFits / (std::string(c.name) + ".txt"));
            const int w = int(rows[0].size()), h = int(rows.size());
            const FitsFile file = LoadFitsFile(kFits / (std::string(c.name) + ".fit"));
            EXPECT_EQ(file.Header.Bitpix, c.bitpix);
            EXPECT_EQ(file.Header.Bzero, c.bzero);
            EXPECT_EQ(file.Header.DataOffset, c.dataOffset);

            // The sink sees the exact values, bottom row first.
            std::vector<std::vector<int64_t>> seen(h, std::vector<int64_t>(w));
            ReadFitsRows(file, w, h, [&](int x, int y, int64_t v) { seen[h - 1 - y][x] = v; });
            EXPECT_EQ(seen, rows);

            Env e;
            e.ws.StretchFitsLevels = stretch;
            ReadFitsFrame(e.ws, e.f, e.host, file.Path);
            EXPECT_EQ(LevelMismatch(e, rows, c.bitpix, stretch), "");
            EXPECT_EQ(e.host.Cursor, CursorKind::Default);
            EXPECT_TRUE(e.host.Messages.empty());
            if (!stretch && c.name == std::string("u16")) {  // 0 at the bottom left, 65535 at the top right
                EXPECT_EQ(e.ws.CurrentFrameImage.Pixel(0, 4).g, 0);
                EXPECT_EQ(e.ws.CurrentFrameImage.Pixel(6, 0).g, 255);
            }
            if (!stretch && c.name == std::string("u32")) {  // 4294967295 stays bright, not wrapped negative
                EXPECT_GT(e.ws.FitsPlane.Get(5, 0), 4.0e9f);
            }
        }
    }
}

TEST(FitsFile, LargeAndOversizedFramesGiveTheSameLevelsAsSmallOnes) {
    // Frames with more pixels than distinct samples go through a table kept between frames;
    // a change of scale must never reuse a stale one. Sides above 4096 are cut, rows still
    // stepped over whole.
    struct Frame {
        int bitpix, w, h;
        int64_t bzero, lowest, spread;
    };
    const Frame frames[] = {{16, 260, 270, 32768, 0, 65536}, {16, 260, 270, 0, -32768, 65536},
                            {16, 260, 270, 32768, 20000, 3000}, {16, 260, 270, 1000, 1000, 30000},
                            {32, 260, 270, 0, 1000000, 5000},   {16, 4100, 2, 32768, 0, 65536},
                            {32, 260, 270, 0, -5, 40},          {16, 2, 4100, 0, -9, 300}};
    TempDir dir;
    for (bool stretch : {false, true}) {
        Env e;
        e.ws.StretchFitsLevels = stretch;
        int n = 0;
        for (const Frame& f : frames) {
            SCOPED_TRACE(std::to_string(n) + (stretch ? " stretched" : " fixed range"));
            std::vector<std::vector<int64_t>> rows(std::min(f.h, 4096), std::vector<int64_t>(std::min(f.w, 4096)));
            std::vector<int64_t> samples;
            for (int k = 0; k < f.h; ++k)
                for (int x = 0; x < f.w; ++x) {
                    const int64_t v = f.lowest + (int64_t(x) * 7919 + int64_t(k) * 104729 + n) % f.spread;
                    if (k < 4096 && x < 4096) rows[k][x] = v;
                    samples.push_back(v - f.bzero);
                }
            const fs::path file = dir / ("frame" + std::to_string(n++) + ".fit");
            WriteBytes(file, MakeFits(ImageCards(f.bitpix, f.w, f.h, f.bzero), samples, f.bitpix / 8));
            ReadFitsFrame(e.ws, e.f, e.host, file);
            EXPECT_EQ(LevelMismatch(e, rows, f.bitpix, stretch), "");
            std::vector<std::vector<int64_t>> seen(rows.size(), std::vector<int64_t>(rows[0].size()));
            ReadFitsRows(LoadFitsFile(file), 4096, 4096,
                         [&](int x, int y, int64_t v) { seen[rows.size() - 1 - std::size_t(y)][std::size_t(x)] = v; });
            EXPECT_EQ(seen, rows);
        }
    }
}

TEST(FitsFile, HeaderCardRules) {
    struct Case {
        const char* what;
        std::vector<std::string> extra;
        int64_t bzero;
        int width;
    };
    const std::string fill = std::string(21, ' ');
    const Case cases[] = {
        {"value field ends at column 30", {Value("BZERO", "100") + " / 99999"}, 100, 3},
        {"ties round to even", {Value("BZERO", "32768.5")}, 32768, 3},
        {"ties round to even, upwards", {Value("BZERO", "3.27695E4")}, 32770, 3},
        {"free format with trailing blanks", {"BZERO   = 7   "}, 7, 3},
        {"BZERO needs its blank", {Value("BZEROX", "5")}, 0, 3},
        {"BSCALE is kept apart from BZERO", {Value("BSCALE", "2.0")}, 0, 3},
        {"a value past column 30 is not read", {Value("NAXIS1", "3"), "NAXIS1  =" + fill + "  9"}, 0, 0},
        {"an = past column 30 gives no value", {"NAXIS1" + std::string(26, ' ') + "= 3"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> cards = ImageCards(16, 3, 2);
        cards.pop_back();  // no BZERO unless the case has one
        cards.insert(cards.end(), c.extra.begin(), c.extra.end());
        const auto bytes = MakeFits(cards);
        if (c.width == 0) {
            EXPECT_THROW(ParseFitsHeader(bytes, "x.fit"), Error);
            continue;
        }
        const FitsHeader h = ParseFitsHeader(bytes, "x.fit");
        EXPECT_EQ(h.Bzero, c.bzero);
        EXPECT_EQ(h.Width, c.width);
        EXPECT_EQ(h.Naxis, 2);
    }
    // END as card 36 and as card 37: the data start on the next block boundary.
    for (int end : {36, 37}) {
        std::vector<std::string> cards = ImageCards(16, 1, 1);
        while (int(cards.size()) < end - 1) cards.push_back("COMMENT filler");
        const FitsHeader h = ParseFitsHeader(MakeFits(cards), "x.fit");
        EXPECT_EQ(h.CardCount, end);
        EXPECT_EQ(h.DataOffset, end == 36 ? 2880u : 5760u);
    }
}

TEST(FitsFile, TheBayerPatternIsReadAndTurnedToThePicturesRowOrder) {
    // The pattern counts from the first stored row, which is the picture's bottom row: with an
    // even height the picture's top row is the cell's other row.
    const struct {
        std::vector<std::string> extra;
        int height;
        const char* stored;
        const char* picture;
    } cases[] = {
        {{"BAYERPAT= 'RGGB    '"}, 4, "RGGB", "GBRG"},
        {{"BAYERPAT= 'RGGB'"}, 3, "RGGB", "RGGB"},
        {{"BAYERPAT= 'grbg'"}, 2, "GRBG", "BGGR"},
        {{"BAYERPAT= 'BGGR'", Value("XBAYROFF", "1")}, 3, "BGGR", "GBRG"},
        {{"BAYERPAT= 'BGGR'", Value("YBAYROFF", "1")}, 2, "BGGR", "BGGR"},
        {{"BAYERPAT= 'CYMY'"}, 2, "", ""},  // not a pattern this program demosaics
        {{}, 2, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        std::vector<std::string> cards = ImageCards(16, 3, c.height);
        cards.insert(cards.end(), c.extra.begin(), c.extra.end());
        const FitsHeader h = ParseFitsHeader(MakeFits(cards), "x.fit");
        EXPECT_EQ(h.BayerPattern, c.stored);
        EXPECT_EQ(PictureBayerPattern(h), c.picture);
    }
}

TEST(FitsFile, MalformedFilesGiveErrorsNamingTheFile) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kCorrupt)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("fit-")) continue;
        SCOPED_TRACE(name);
        ++checked;
        Env e;
        e.ws.CurrentFrameImage.SetSize(2, 2);
        e.ws.ImageWidth = 2;
        for (int pass = 0; pass < 2; ++pass) {
            try {
                if (pass == 0) ReadFitsFrame(e.ws, e.f, e.host, entry.path());
                else ProbeFits(entry.path());
                ADD_FAILURE() << "no error";
            } catch (const Error& err) {
                EXPECT_NE(std::string(err.what()).find(name), std::string::npos) << err.what();
            }
        }
        EXPECT_EQ(e.ws.CurrentFrameImage.Width(), 2);
        EXPECT_EQ(e.ws.ImageWidth, 2);
        EXPECT_EQ(e.host.Cursor, CursorKind::Default);
    }
    EXPECT_GE(checked, 10);

    // Data cut off half-way through a good file: the workspace keeps the previous frame.
    TempDir dir;
    auto bytes = ReadBytes(kFits / "u16.fit");
    bytes.resize(2880 + 40);
    WriteBytes(dir / "cut_B.fit", bytes);
    Env e;
    ReadFitsFrame(e.ws, e.f, e.host, kFits / "i16.fit");
    const Bitmap24 before = e.ws.CurrentFrameImage;
    EXPECT_THROW(ReadFitsFrame(e.ws, e.f, e.host, dir / "cut_B.fit"), Error);
    EXPECT_EQ(e.ws.CurrentFrameImage, before);
    EXPECT_EQ(e.ws.FitsChannel, 1);
}

TEST(FitsFile, ChannelComesFromTheFileName) {
    const std::pair<const char*, int> cases[] = {
        {"jup_B.fit", 2},      {"jup_b.fits", 2},          {"jup_R.fit", 0},   {"jup_G.fit", 1},
        {"jupiter.fit", 1},    {"x.luminance.fit", 3},     {"m.Red.fit", 0},   {"m.red.blue.fit", 2},
        {"m.blue_R.fit", 2},   {"a.fit", 1},               {"dir.red/jup.fit", 1}};
    for (const auto& [name, channel] : cases) EXPECT_EQ(FitsChannelFromName(name), channel) << name;

    TempDir dir;
    fs::copy_file(kFits / "u16.fit", dir / "x.luminance.fit");
    Env e;
    ReadFitsFrame(e.ws, e.f, e.host, dir / "x.luminance.fit");
    EXPECT_EQ(e.ws.FitsChannel, 3);
    EXPECT_TRUE(e.f.Lumichannel.Visible);
    EXPECT_TRUE(e.f.LRGB1.Checked);
    EXPECT_TRUE(e.f.LRGB2.Checked);
}

TEST(FitsFile, SampleKindsOurReaderLeavesGoToCfitsioAndAreDescribed) {
    for (const char* name : {"bitpix8.fit", "bitpix-32.fit"}) {
        SCOPED_TRACE(name);
        Env e;
        ReadFitsFrame(e.ws, e.f, e.host, kFits / name);
        EXPECT_EQ(std::tie(e.ws.ImageWidth, e.ws.ImageHeight), std::tuple(7, 5));
        EXPECT_EQ(e.ws.FitsPlane.Width(), 7);
        EXPECT_EQ(e.host.Cursor, CursorKind::Default);
        EXPECT_TRUE(e.host.Messages.empty());
    }
    EXPECT_EQ(ProbeFits(kFits / "bitpix-32.fit").Details[0], (std::pair<std::string, std::string>{"BITPIX", "-32"}));
    const FileInfo info = ProbeFits(kFits / "cards40.fit");
    EXPECT_EQ(std::tie(info.Format, info.Width, info.Height, info.Bits), std::tuple("FITS", 7, 5, 16));
    const std::vector<std::pair<std::string, std::string>> details = {
        {"BITPIX", "16"},          {"BZERO", "0"},          {"BSCALE", "1"},          {"NAXIS", "2"},
        {"NAXIS3", "absent"},      {"header cards", "40"},  {"data offset", "5760"},
        {"reader", "Talvenor FITS reader"},                 {"HDU", "primary"},       {"compression", "none"},
        {"decoding", "read by Talvenor FITS reader (signed samples offset to the unsigned range)"}};
    EXPECT_EQ(info.Details, details);
}

// --- writing

std::string CardOf(const std::vector<uint8_t>& file, int n) {  // n counts from 1
    return std::string(file.begin() + (n - 1) * 80, file.begin() + n * 80);
}
int Big16(const std::vector<uint8_t>& file, std::size_t i) { return int16_t(uint16_t(file[2880 + 2 * i] << 8 | file[2881 + 2 * i])); }

// The interpreter with astropy that cross-checks our FITS files; empty when there is none.
std::string AstropyPython() { return talvenor::testing::FindPython({"astropy.io.fits"}); }

std::string RunCapture(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

TEST(FitsFile, ResultImageIsWrittenBottomRowFirstWithTheFixedHeader) {
    TempDir dir;
    Env e;
    e.ws.StackTiff.CreateWide(100, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) e.ws.StackTiff.SetSample(x, y, 1, uint16_t(x * 600 + y));
    e.ws.StackTiff.SetSample(0, 99, 1, 65535);  // bottom left: first sample written
    TFITParams params;
    params.Date = 45000;  // 15 March 2023
    params.Time = 0.75;
    params.Object = "Jupiter";
    WriteFits(e.ws, e.f, e.host, dir / "result.png", 100, 100, 1, 16, params);
    const auto file = ReadBytes(dir / "result.fit");
    ASSERT_EQ(file.size(), 23040u);
    EXPECT_EQ(CardOf(file, 2), Card("BITPIX  =                   16"));
    EXPECT_EQ(CardOf(file, 4), Card("NAXIS1  =                  100"));
    EXPECT_EQ(CardOf(file, 7), Card("BZERO   =                32768"));
    EXPECT_EQ(CardOf(file, 8), Card("DATE-OBS= '2023-03-15T18:00:00'"));
    EXPECT_EQ(CardOf(file, 9), Card("TIME-OBS= '18:00:00'"));
    EXPECT_EQ(CardOf(file, 10), Card("OBJECT  = 'Jupiter'"));
    EXPECT_EQ(CardOf(file, 14), Card("COMMENT TALVENOR V2.0"));
    EXPECT_EQ(CardOf(file, 15), Card("COMMENT"));
    EXPECT_EQ(CardOf(file, 16), Card("END"));
    EXPECT_EQ(CardOf(file, 36), Card(""));
    EXPECT_EQ(Big16(file, 0), 32767);                // 65535 - 32768
    EXPECT_EQ(Big16(file, 1), 600 + 99 - 32768);     // x = 1 of the bottom row
    EXPECT_EQ(Big16(file, 100), 98 - 32768);         // next row up
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 22880, file.end()), std::vector<uint8_t>(160, 0));

    // Our reader gets the samples back exactly.
    const FitsFile back = LoadFitsFile(dir / "result.fit");
    int mismatches = 0;
    ReadFitsRows(back, 100, 100, [&](int x, int y, int64_t v) { mismatches += v != e.ws.StackTiff.Sample(x, y, 1); });
    EXPECT_EQ(mismatches, 0);

    const std::string python = AstropyPython();
    TALVENOR_REQUIRE_TOOL(!python.empty(), "Python with astropy");
    const std::string out = RunCapture(
        "'" + python + "' -c \"import sys; from astropy.io import fits; h = fits.open(sys.argv[1])[0]; d = h.data; "
        "print(h.header['NAXIS1'], h.header['NAXIS2'], h.header['BITPIX'], h.header['BZERO'], d.dtype, d[0, 0], d[1, 0], d[0, 1])\" " +
        (dir / "result.fit").string() + " 2>/dev/null");
    EXPECT_EQ(out, "100 100 16 32768 uint16 65535 98 699\n");
}

TEST(FitsFile, TheHeaderIsStandardFits) {
    // Texts a user types: a quote, a letter outside ASCII, a comment longer than one card.
    TempDir dir;
    Env e;
    e.ws.StackTiff.CreateWide(3, 2);
    TFITParams params;
    params.Date = 45000;
    params.Time = 0.5;
    params.Object = "Saturn's rings";
    params.Observer = "J\xC3\xB6rg";
    params.Comment = std::string(70, 'a') + " and more after the end of the first card";
    params.Recipe = "[Stack]\r\nKeep=50\r\n";
    WriteFits(e.ws, e.f, e.host, dir / "std.fit", 3, 2, 1, 16, params);
    const auto file = ReadBytes(dir / "std.fit");
    EXPECT_EQ(CardOf(file, 10), Card("OBJECT  = 'Saturn''s rings'"));
    EXPECT_EQ(CardOf(file, 13), Card("OBSERVER= 'J??rg'"));
    EXPECT_EQ(CardOf(file, 15), Card("COMMENT " + std::string(70, 'a') + " a"));
    EXPECT_EQ(CardOf(file, 16), Card("COMMENT nd more after the end of the first card"));
    const std::string python = AstropyPython();
    TALVENOR_REQUIRE_TOOL(!python.empty(), "Python with astropy");
    const std::string out = RunCapture(
        "'" + python + "' -c \"import sys; from astropy.io import fits; f = fits.open(sys.argv[1]); f.verify('exception'); "
        "h = f[0].header; print(h['DATE-OBS'], h['OBJECT'], len(h['COMMENT']))\" " + (dir / "std.fit").string() + " 2>&1");
    EXPECT_EQ(out, "2023-03-15T12:00:00 Saturn's rings 3\n");
}

TEST(FitsFile, StackIsWrittenByTheKindFormulas) {
    TempDir dir;
    Env e;
    e.ws.StackSum[1].Create(4, 2);
    const float v[2][4] = {{0.0f, 1.0f, 2.5f / 128, 10.0f}, {-3.5f / 128, 5.0f, 300.0f, 7.25f}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) e.ws.StackSum[1].Put(x, y, v[y][x]);
    const double min = -3.5 / 128, scale = float((300.0 - min) * 1.1);
    struct Case {
        int kind, bitpix;
        const char* file;
    };
    for (const Case c : {Case{0, 16, "s.fit"}, Case{0, 32, "s.fit"}, Case{2, 16, "s.fitr"}}) {
        SCOPED_TRACE(c.kind * 100 + c.bitpix);
        WriteFits(e.ws, e.f, e.host, dir / "s.bmp", 4, 2, c.kind, c.bitpix);
        const auto file = ReadBytes(dir / c.file);
        EXPECT_EQ(CardOf(file, 7), Card(c.kind == 2 ? "BZERO   =                    0" : "BZERO   =                32768"));
        if (c.kind == 2) {
            EXPECT_EQ(Big16(file, 0), -4);     // -3.5 rounds to the even -4
            EXPECT_EQ(Big16(file, 1), 640);
            EXPECT_EQ(Big16(file, 2), 32767);  // 300 x 128 does not fit: held, not wrapped
            EXPECT_EQ(Big16(file, 6), 2);      // 2.5 rounds to the even 2
        } else {
            for (int i = 0; i < 8; ++i) {
                const double s = v[1 - i / 4][i % 4];  // bottom row first
                const std::size_t o = 2880 + 4 * std::size_t(i);
                if (c.bitpix == 32)
                    EXPECT_EQ(int32_t(uint32_t(file[o]) << 24 | uint32_t(file[o + 1]) << 16 | uint32_t(file[o + 2]) << 8 | file[o + 3]),
                              std::nearbyint(((s - min) / scale - 0.5) * 2147483647.0 * 2)) << i;
                else
                    EXPECT_EQ(Big16(file, std::size_t(i)), std::nearbyint(((s - min) / scale - 0.5) * 65535)) << i;
            }
        }
        fs::remove(dir / c.file);
    }
}

TEST(FitsFile, ColourFilesAskBeforeReplacing) {
    TempDir dir;
    Env e;
    e.f.ColourStack.Checked = true;
    e.ws.StackTiff.CreateWide(3, 2);
    for (int c = 0; c < 3; ++c) e.ws.StackTiff.SetSample(0, 1, c, uint16_t(1000 * (c + 1)));
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(dir / "img_G.fit", old);
    WriteBytes(dir / "img_B.fit", old);

    e.host.Answers = {Answer::No};
    WriteFits(e.ws, e.f, e.host, dir / "img.tif", 3, 2, 1, 16);
    const std::string question = " Overwrite existing file ( " + (dir / "img_G.fit").string() + " ) ?";
    EXPECT_EQ(e.host.MessageTexts(), std::vector<std::string>{question});
    EXPECT_EQ(Big16(ReadBytes(dir / "img_R.fit"), 0), 1000 - 32768);
    EXPECT_EQ(ReadBytes(dir / "img_G.fit"), old);
    EXPECT_EQ(ReadBytes(dir / "img_B.fit"), old);  // skipped without a question

    e.host.Messages.clear();
    e.host.Answers = {Answer::Yes, Answer::Yes, Answer::Yes};
    WriteFits(e.ws, e.f, e.host, dir / "img.tif", 3, 2, 1, 16);
    EXPECT_EQ(e.host.Messages.size(), 3u);
    EXPECT_EQ(Big16(ReadBytes(dir / "img_G.fit"), 0), 2000 - 32768);
    EXPECT_EQ(Big16(ReadBytes(dir / "img_B.fit"), 0), 3000 - 32768);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);

    // A place that cannot be written is an error naming the file, not a silent success.
    try {
        WriteFits(e.ws, e.f, e.host, dir / "missing-dir" / "img.fit", 3, 2, 1, 16);
        ADD_FAILURE() << "no error";
    } catch (const Error& err) {
        EXPECT_NE(std::string(err.what()).find("img_R.fit"), std::string::npos) << err.what();
    }
    // So is saving before there is anything to save.
    Env empty;
    EXPECT_THROW(WriteFits(empty.ws, empty.f, empty.host, dir / "none.fit", 3, 2, 0, 16), Error);
    EXPECT_FALSE(fs::exists(dir / "none.fit"));
}

}  // namespace
}  // namespace talvenor
