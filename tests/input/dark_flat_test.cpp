#include "input/dark_flat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"
#include "workspace/error.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// A FITS file written by hand: `rows` top row first, stored bottom row first as FITS wants.
void WriteFits(const fs::path& path, int bitpix, long long bzero, int width, int height,
               const std::vector<std::vector<long long>>& rows) {
    std::string header;
    auto card = [&](const std::string& key, const std::string& value) {
        std::string c = key;
        c.resize(8, ' ');
        c += "= ";
        c += std::string(20 - value.size(), ' ') + value;
        c.resize(80, ' ');
        header += c;
    };
    card("SIMPLE", "T");
    card("BITPIX", std::to_string(bitpix));
    card("NAXIS", "2");
    card("NAXIS1", std::to_string(width));
    card("NAXIS2", std::to_string(height));
    card("BZERO", std::to_string(bzero));
    std::string end = "END";
    end.resize(80, ' ');
    header += end;
    header.resize(2880, ' ');
    std::string data;
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        for (long long v : *r)
            for (int b = bitpix / 8 - 1; b >= 0; --b) data += char((uint64_t(v) >> (8 * b)) & 0xFF);
    if (!data.empty()) data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    std::ofstream(path, std::ios::binary) << header << data;
}

Bitmap24 Uniform(int width, int height, Bgr colour) {
    Bitmap24 b(width, height);
    b.Fill(colour);
    return b;
}

struct DarkFlatTest : ::testing::Test {
    testing::TempDir dir;
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore settings;
    AppContext c{ws, form, host, settings};

    std::string Bmp(const std::string& name, const Bitmap24& picture) {
        const fs::path p = dir / name;
        WriteBmp24(p, picture);
        return p.string();
    }
    float Dark(int channel, int x, int y) const { return ws.DarkPlanes[std::size_t(channel)].Get(x, y); }
    float Flat(int channel, int x, int y) const { return ws.FlatPlanes[std::size_t(channel)].Get(x, y); }
};

TEST_F(DarkFlatTest, BitmapDarkKeepsEachChannelTimes128InItsOwnPlane) {
    Bitmap24 b(3, 2);
    b.SetPixel(0, 0, Bgr{1, 2, 3});
    b.SetPixel(2, 1, Bgr{255, 0, 10});
    form.ColourStack.Checked = true;
    const std::string path = Bmp("dark.bmp", b);
    LoadDarkFrame(c, path, 1, false);

    EXPECT_EQ((std::vector{ws.DarkWidth, ws.DarkHeight, ws.DarkFileType}), (std::vector{3, 2, 1}));
    EXPECT_EQ(ws.DarkFileName, path);
    EXPECT_TRUE(form.UseDarkFrame.Visible);
    EXPECT_TRUE(form.ColourStack.Checked);  // only FITS calibration turns colour off
    EXPECT_EQ((std::vector{Dark(0, 0, 0), Dark(1, 0, 0), Dark(2, 0, 0), Dark(0, 2, 1), Dark(2, 2, 1), Dark(1, 1, 1)}),
              (std::vector{3 * 128.0f, 2 * 128.0f, 128.0f, 10 * 128.0f, 255 * 128.0f, 0.0f}));
}

TEST_F(DarkFlatTest, FlatBitmapIsNormalisedToMeanOneWithNoZeroGain) {
    const struct {
        const char* what;
        Bgr first, rest;
        float gainFirstRed, gainFirstBlue, gainRest;
    } cases[] = {
        {"all black: mean taken as 1, every gain 0.00001", {0, 0, 0}, {0, 0, 0}, 0.00001f, 0.00001f, 0.00001f},
        {"uniform 100", {100, 100, 100}, {100, 100, 100}, 1.0f, 1.0f, 1.0f},
        {"uniform 255", {255, 255, 255}, {255, 255, 255}, 1.0f, 1.0f, 1.0f},
        // 4 pixels: one (red 40, green 0, blue 20), three grey 20 -> mean 20.
        {"uneven, a zero channel", {20, 0, 40}, {20, 20, 20}, 2.0f, 1.0f, 1.0f},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        Bitmap24 b = Uniform(2, 2, k.rest);
        b.SetPixel(0, 0, k.first);
        LoadFlatField(c, Bmp("flat.bmp", b), 1, false);
        EXPECT_EQ(Flat(0, 0, 0), k.gainFirstRed);
        EXPECT_EQ(Flat(2, 0, 0), k.gainFirstBlue);
        EXPECT_EQ(Flat(1, 0, 0), k.first.g == 0 ? 0.00001f : k.gainRest);
        EXPECT_EQ(Flat(1, 1, 1), k.gainRest);
        EXPECT_TRUE(form.UseFlatfield.Visible);
        EXPECT_EQ(ws.FlatFileType, 1);
    }
}

TEST_F(DarkFlatTest, FitsCalibrationScalesByTypeFillsAllPlanesAndTurnsColourOff) {
    // Top row (3, 4), bottom row (5, 6) plus BZERO 10; the file stores the bottom row first.
    const std::vector<std::vector<long long>> rows{{3, 4}, {5, 6}};
    const struct {
        bool dark;
        int type, bitpix;
        float topLeft, bottomRight;
    } cases[] = {
        {true, 2, 16, 13, 16},                    // ".fitr" already holds level x 128
        {true, 3, 16, 13 * 128, 16 * 128},        // plain FITS holds levels
        {true, 3, 32, 13 * 128, 16 * 128},
        {false, 2, 16, 13 / 14.5f, 16 / 14.5f},   // flats of either type: value / mean
        {false, 3, 32, 13 / 14.5f, 16 / 14.5f},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.dark ? "dark" : "flat") + " type " + std::to_string(k.type) + " bitpix " +
                     std::to_string(k.bitpix));
        form.ColourStack.Checked = true;
        const std::string path = (dir / "cal.fit").string();
        WriteFits(path, k.bitpix, 10, 2, 2, rows);
        if (k.dark) LoadDarkFrame(c, path, k.type, false);
        else LoadFlatField(c, path, k.type, false);

        EXPECT_FALSE(form.ColourStack.Checked);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_FLOAT_EQ(k.dark ? Dark(ch, 0, 0) : Flat(ch, 0, 0), k.topLeft) << "channel " << ch;
            EXPECT_FLOAT_EQ(k.dark ? Dark(ch, 1, 1) : Flat(ch, 1, 1), k.bottomRight) << "channel " << ch;
        }
        EXPECT_EQ(k.dark ? ws.DarkFileType : ws.FlatFileType, k.type);
        EXPECT_EQ(k.dark ? ws.DarkWidth : ws.FlatWidth, 2);
        EXPECT_TRUE(host.Messages.empty());
        EXPECT_EQ(host.Cursor, CursorKind::Default);
    }
}

TEST_F(DarkFlatTest, OversizedImagesWarnOrAreRefusedInteractivelyAndCutSilentlyFromAProject) {
    const std::string bmp = Bmp("wide.bmp", Uniform(4100, 1, Bgr{7, 7, 7}));
    const std::string fitsHeaderOnly = (dir / "wide-header.fit").string();
    WriteFits(fitsHeaderOnly, 16, 0, 5000, 2, {});  // no data: refused before any row is read
    const std::string fits = (dir / "wide.fit").string();
    WriteFits(fits, 16, 0, 5000, 2, {std::vector<long long>(5000, 1), std::vector<long long>(5000, 2)});

    const struct {
        bool dark;
        std::string path;
        int type;
        bool fromProject;
        const char* message;  // nullptr: none
        int width;            // 0: refused
    } cases[] = {
        {true, bmp, 1, false, " Warning : darkframe too large , truncated !", 4096},
        {false, bmp, 1, false, " Warning: flatfield too large , truncated !", 4096},
        {true, bmp, 1, true, nullptr, 4096},
        {true, fitsHeaderOnly, 3, false, " darkframe too large !!", 0},
        {false, fitsHeaderOnly, 2, false, " flatfield too large !!", 0},
        {true, fits, 3, true, nullptr, 4096},
        {false, fits, 3, true, nullptr, 4096},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.path + (k.fromProject ? " from a project" : " interactive"));
        host.Messages.clear();
        // A 1 x 1 image in use beforehand.
        LoadDarkFrame(c, Bmp("small.bmp", Uniform(1, 1, Bgr{1, 1, 1})), 1, false);
        LoadFlatField(c, Bmp("small.bmp", Uniform(1, 1, Bgr{1, 1, 1})), 1, false);
        CheckBox& use = k.dark ? form.UseDarkFrame : form.UseFlatfield;
        use.Checked = true;

        if (k.dark) LoadDarkFrame(c, k.path, k.type, k.fromProject);
        else LoadFlatField(c, k.path, k.type, k.fromProject);

        if (k.message) {
            EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{k.message});
        } else {
            EXPECT_TRUE(host.Messages.empty());
        }
        const int width = k.dark ? ws.DarkWidth : ws.FlatWidth;
        if (k.width) {
            EXPECT_EQ(width, k.width);
            EXPECT_EQ(k.dark ? ws.DarkHeight : ws.FlatHeight, k.type == 1 ? 1 : 2);
            // The cut keeps the left part; the FITS rows hold 1 at the top and 2 below.
            if (k.type == 3 && k.dark) {
                EXPECT_EQ(Dark(0, 4095, 0), 128.0f);
                EXPECT_EQ(Dark(2, 4095, 1), 256.0f);
            } else if (k.type == 3) {
                EXPECT_FLOAT_EQ(Flat(1, 0, 1), 2 / 1.5f);
            }
            EXPECT_TRUE(use.Visible);
            EXPECT_TRUE(use.Checked);
        } else {
            // Hidden and switched off, so the stacker cannot apply it; the image in use before stays.
            EXPECT_FALSE(use.Visible);
            EXPECT_FALSE(use.Checked);
            EXPECT_EQ(width, 1);
            EXPECT_EQ(k.dark ? ws.DarkFileName : ws.FlatFileName, (dir / "small.bmp").string());
            EXPECT_FALSE(form.ColourStack.Checked);
        }
    }
}

TEST_F(DarkFlatTest, BrokenMissingOrUnsupportedFilesLeaveTheImageInUse) {
    const std::string good = Bmp("good.bmp", Uniform(2, 2, Bgr{10, 10, 10}));
    const std::string bitpix8 = (dir / "bitpix8.fit").string();
    WriteFits(bitpix8, 8, 0, 2, 2, {{1, 2}, {3, 4}});
    const std::string bitpix24 = (dir / "bitpix24.fit").string();
    WriteFits(bitpix24, 24, 0, 2, 2, {{1, 2}, {3, 4}});
    const std::string missing = (dir / "gone.bmp").string();

    auto loadGood = [&] {
        LoadDarkFrame(c, good, 1, false);
        LoadFlatField(c, good, 1, false);
        form.UseDarkFrame.Checked = form.UseFlatfield.Checked = true;
        host.Messages.clear();
    };
    auto expectGoodInUse = [&] {
        EXPECT_EQ(ws.DarkFileName, good);
        EXPECT_EQ(ws.FlatFileName, good);
        EXPECT_EQ(ws.DarkWidth, 2);
        EXPECT_EQ(ws.FlatHeight, 2);
        EXPECT_EQ(Dark(1, 1, 1), 1280.0f);
        EXPECT_EQ(Flat(1, 1, 1), 1.0f);
    };

    // Every malformed BMP and FITS of the corrupt-file collection, and a type no dialog
    // offers: an error naming the file. FITS are loaded as a project would, so an absurd
    // size is cut and the data read rather than refused.
    std::vector<std::pair<std::string, int>> rejected{{good, 4}, {good, -1}};
    for (const auto& entry : fs::directory_iterator(fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corrupt")) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".bmp" || ext == ".fit") rejected.emplace_back(entry.path().string(), ext == ".bmp" ? 1 : 2);
    }
    EXPECT_GE(rejected.size(), 20u);
    bool dark = false;
    for (const auto& [path, type] : rejected) {
        SCOPED_TRACE(path + " type " + std::to_string(type));
        loadGood();
        dark = !dark;
        try {
            if (dark) LoadDarkFrame(c, path, type, true);
            else LoadFlatField(c, path, type, true);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        expectGoodInUse();
        EXPECT_TRUE(form.UseDarkFrame.Checked && form.UseFlatfield.Checked);
    }

    // Unsupported sample size: the message, nothing loaded.
    loadGood();
    LoadDarkFrame(c, bitpix24, 3, false);
    LoadFlatField(c, bitpix24, 2, false);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"unsupported fits format", "unsupported fits format"}));
    expectGoodInUse();

    // A capture program's BITPIX 8 dark (read by the FITS library) holds levels as a plain one does.
    host.Messages.clear();
    LoadDarkFrame(c, bitpix8, 3, false);
    EXPECT_TRUE(host.Messages.empty()) << host.MessageTexts().front();
    EXPECT_EQ(ws.DarkFileName, bitpix8);
    EXPECT_EQ(Dark(0, 0, 0), 128.0f);
    EXPECT_EQ(Dark(2, 1, 1), 4 * 128.0f);

    // A project naming a file that is gone: a warning and the use box off (but shown).
    loadGood();
    form.UseDarkFrame.Visible = form.UseFlatfield.Visible = false;
    LoadDarkFile(c, missing, 1);
    LoadFlatFile(c, missing, 3);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"Warning : darkframe " + missing + " missing ",
                                                             "Warning : flatfield " + missing + " missing "}));
    EXPECT_EQ(host.Messages[0].Kind, MsgKind::Warning);
    EXPECT_FALSE(form.UseDarkFrame.Checked || form.UseFlatfield.Checked);
    EXPECT_TRUE(form.UseDarkFrame.Visible && form.UseFlatfield.Visible);
    expectGoodInUse();
}

TEST_F(DarkFlatTest, ButtonsAskWithTheCalibrationDialogAndLoadTheChosenType) {
    const std::string fits = (dir / "dark.fitr").string();
    WriteFits(fits, 16, 0, 1, 1, {{640}});
    host.OpenChoices.push_back(FileChoice{{fits}, 2});
    LoadDarkframeClick(c);
    ASSERT_EQ(host.OpenRequests.size(), 1u);
    EXPECT_EQ(host.OpenRequests[0].Filter, "bitmap 24bits (*.bmp)|*.bmp|special talvenor fits|*.fitr;|fits|*.fit; *.fits");
    EXPECT_EQ(ws.DarkFileType, 2);
    EXPECT_EQ(Dark(0, 0, 0), 640.0f);
    EXPECT_EQ(form.OpenDialog.FilterIndex, 2);  // offered again next time

    // Cancelled: nothing changes.
    LoadDarkframeClick(c);
    FlatfieldbuttonClick(c);
    EXPECT_EQ(host.OpenRequests.size(), 3u);
    EXPECT_EQ(host.OpenRequests[2].FilterIndex, 2);
    EXPECT_EQ(ws.DarkFileName, fits);
    EXPECT_TRUE(ws.FlatFileName.empty());

    host.OpenChoices.push_back(FileChoice{{Bmp("flat.bmp", Uniform(1, 1, Bgr{9, 9, 9}))}, 1});
    FlatfieldbuttonClick(c);
    EXPECT_EQ(ws.FlatFileType, 1);
    EXPECT_EQ(Flat(2, 0, 0), 1.0f);
}

// The frame a calibration is applied to: every byte of channel (b, g, r) set to `level`.
struct Applied : DarkFlatTest {
    void Frame(int width, int height, uint8_t level) { ws.CurrentFrameImage = Uniform(width, height, Bgr{level, level, level}); }
    void SetPlane(std::array<Single2dArray, 3>& planes, int width, int height, float value) {
        for (Single2dArray& p : planes) {
            p.Create(width, height);
            p.Fill(value);
        }
    }
    void SetDark(int width, int height, float value) {
        SetPlane(ws.DarkPlanes, width, height, value);
        ws.DarkWidth = width, ws.DarkHeight = height;
        form.UseDarkFrame.Checked = true;
    }
    void SetFlat(int width, int height, float value) {
        SetPlane(ws.FlatPlanes, width, height, value);
        ws.FlatWidth = width, ws.FlatHeight = height;
        form.UseFlatfield.Checked = true;
    }
};

TEST_F(Applied, FrameArithmeticRoundsTiesToEvenAndClamps) {
    const struct {
        uint8_t level;
        float dark;  // plane value (level x 128); < 0: no dark
        float flat;  // gain; < 0: no flat
        uint8_t expected;
    } cases[] = {
        {200, 1280, -1, 190},       // a grey-10 dark subtracts exactly 10
        {5, 1280, -1, 0},           // ... and never goes below 0
        {3, 64, -1, 2},             // 2.5 -> 2
        {4, 64, -1, 4},             // 3.5 -> 4
        {255, -1, 0.5f, 255},       // 510 clamps
        {101, -1, 2.0f, 50},        // 50.5 -> 50
        {103, -1, 2.0f, 52},        // 51.5 -> 52
        {77, -1, 1.0f, 77},         // a normalised uniform flat changes nothing
        {120, 1280, 0.5f, 220},     // dark first: (120 - 10) / 0.5
        {200, -1, 0.00001f, 255},   // huge quotient, no overflow
        {0, -1, 0.00001f, 0},
        {200, -1e9f, -1, 255},      // negative dark adds
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.level) + " dark " + std::to_string(k.dark) + " flat " + std::to_string(k.flat));
        form.UseDarkFrame.Checked = form.UseFlatfield.Checked = false;
        if (k.dark != -1) SetDark(2, 2, k.dark);
        if (k.flat >= 0) SetFlat(2, 2, k.flat);
        Frame(2, 2, k.level);
        ApplyDarkFlatToImage(c);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) EXPECT_EQ(ws.CurrentFrameImage.Pixel(x, y), (Bgr{k.expected, k.expected, k.expected}));
    }
}

TEST_F(Applied, FrameAndSampleFormsCalibrateOnlyWhereTheImagesOverlap) {
    // A 2 x 2 dark (grey 10, blue plane 20) and a 3 x 1 flat (gain 0.5) on a 4 x 4 frame of 100.
    SetDark(2, 2, 1280);
    ws.DarkPlanes[2].Fill(2560);
    SetFlat(3, 1, 0.5f);
    Frame(4, 4, 100);
    ApplyDarkFlatToImage(c);
    const Bitmap24& f = ws.CurrentFrameImage;
    EXPECT_EQ(f.Pixel(0, 0), (Bgr{160, 180, 180}));  // dark and flat
    EXPECT_EQ(f.Pixel(2, 0), (Bgr{200, 200, 200}));  // flat only
    EXPECT_EQ(f.Pixel(1, 1), (Bgr{80, 90, 90}));     // dark only
    EXPECT_EQ(f.Pixel(3, 0), (Bgr{100, 100, 100}));
    EXPECT_EQ(f.Pixel(0, 2), (Bgr{100, 100, 100}));

    const DarkFlat d = DarkFlat::From(c);
    EXPECT_FLOAT_EQ(d.Apply(100.5f, 0, 0, 0), 181.0f);  // no rounding
    EXPECT_FLOAT_EQ(d.Apply(100.5f, 2, 0, 0), 161.0f);
    EXPECT_FLOAT_EQ(d.Apply(5.0f, 1, 1, 1), -5.0f);     // no clamping
    EXPECT_FLOAT_EQ(d.Apply(7.0f, 1, 2, 0), 14.0f);
    EXPECT_FLOAT_EQ(ApplyDarkFlatToSample(d, 7.0f, 1, 2, 1), 7.0f);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{3, 3}, {-1, 0}, {0, -1}, {4096, 0}})
        EXPECT_EQ(d.Apply(7.0f, 0, x, y), 7.0f);

    // Unchecked boxes: untouched, in both forms.
    form.UseDarkFrame.Checked = form.UseFlatfield.Checked = false;
    Frame(4, 4, 100);
    ApplyDarkFlatToImage(c);
    EXPECT_EQ(ws.CurrentFrameImage.Pixel(0, 0), (Bgr{100, 100, 100}));
    EXPECT_EQ(DarkFlat::From(c).Apply(7.0f, 0, 0, 0), 7.0f);

    // A calibration larger than the frame touches only the frame; a size the planes do not
    // have is never read beyond them.
    SetDark(8, 8, 1280);
    ws.DarkWidth = ws.DarkHeight = 100;
    Frame(3, 2, 50);
    ApplyDarkFlatToImage(c);
    EXPECT_EQ(ws.CurrentFrameImage.Pixel(2, 1), (Bgr{40, 40, 40}));
    EXPECT_EQ(DarkFlat::From(c).Dark.Width, 8);
}

}  // namespace
}  // namespace talvenor
