// Recipes inside result images: the card layout a FITS tool shows, exact round trips of long,
// odd and many lines through FITS and TIFF, pixels still read by our own readers, and the
// damaged files that must be refused.
#include "imagefiles/recipe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/controls.h"
#include "workspace/error.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using talvenor::testing::TempDir;

std::string Card(std::string text) {
    text.resize(80, ' ');
    return text;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::optional<std::string> FromCards(const std::string& cards) { return RecipeFromCards(Bytes(cards), "x.fit"); }

// A project-like text: sections, long paths, one line per frame.
std::string LongRecipe(int frames) {
    std::string t = "[Input]\r\nfiletype=AVI\r\nfilename=/data/captures/" + std::string(180, 'j') + "/jupiter.avi\r\n";
    t += "note=  leading blanks, = signs, a back\\slash and trailing blanks  \r\n\r\n[Frames]\r\n";
    for (int i = 0; i < frames; ++i)
        t += "frame" + std::to_string(i) + "=" + std::to_string(i * 7 % 113) + ",0.125,-3.5,1\r\n";
    return t;
}

TEST(Recipe, CardsAreCommentaryTextThatReadsBackExactly) {
    const std::string seventyTwo(67, 'a');  // the text columns of one card
    struct Case {
        const char* what;
        std::string recipe;
        std::vector<std::string> cards;
    } cases[] = {
        {"nothing, no cards", "", {}},
        {"one short line", "[Input]\r\n", {Card("HISTORY RCP: [Input]")}},
        {"a line filling the card", seventyTwo + "\r\n", {Card("HISTORY RCP: " + seventyTwo)}},
        {"one byte more continues", seventyTwo + "b\r\n", {Card("HISTORY RCP: " + seventyTwo), Card("HISTORY RCP+ b")}},
        {"an empty line keeps its card", "a\r\n\r\nb\r\n", {Card("HISTORY RCP: a"), Card("HISTORY RCP: "), Card("HISTORY RCP: b")}},
        {"a trailing blank survives padding", "key=value \r\n", {Card("HISTORY RCP: key=value\\20")}},
        {"a leading = is no value indicator", "= x\r\n", {Card("HISTORY RCP: \\3D x")}},
        {"backslash and non-ASCII are escaped", "C:\\t\xC3\xA9\r\n", {Card("HISTORY RCP: C:\\5Ct\\C3\\A9")}},
        {"a lone line feed stays in its line", "a\nb\r\n", {Card("HISTORY RCP: a\\0Ab")}},
    };
    for (const Case& c : cases) {
        std::string expected;
        for (const std::string& card : c.cards) expected += card;
        const std::string cards = RecipeCards(c.recipe);
        EXPECT_EQ(cards, expected) << c.what;
        if (c.recipe.empty()) {
            EXPECT_FALSE(FromCards(cards)) << c.what;
        } else {
            EXPECT_EQ(FromCards(cards).value_or("(none)"), c.recipe) << c.what;
        }
    }
}

TEST(Recipe, LongLinesSplitWithoutBreakingEscapesOrLosingBlanks) {
    // Escapes and blanks at every position around the card boundary.
    for (int at = 60; at < 80; ++at) {
        for (const char special : {' ', '\\', '=', '\x01'}) {
            std::string line(150, 'x');
            line[std::size_t(at)] = special;
            line[std::size_t(at) + 1] = ' ';
            line[std::size_t(at) + 2] = '=';
            const std::string recipe = line + " \r\n";
            const std::string cards = RecipeCards(recipe);
            ASSERT_EQ(cards.size() % 80, 0u);
            for (std::size_t i = 0; i < cards.size(); i += 80) {
                const std::string card = cards.substr(i, 80);
                EXPECT_TRUE(card.starts_with(i == 0 ? "HISTORY RCP: " : "HISTORY RCP+ ")) << card;
                EXPECT_NE(card.substr(8, 2), "= ") << card;  // commentary, never a value
                for (char ch : card) EXPECT_TRUE(ch >= 32 && ch <= 126) << card;
            }
            EXPECT_EQ(FromCards(cards).value_or("(none)"), recipe) << "special " << int(special) << " at " << at;
        }
    }
    // A text whose last line has no line end reads back with one.
    EXPECT_EQ(FromCards(RecipeCards("a\r\nb")).value_or(""), "a\r\nb\r\n");
}

TEST(Recipe, BrokenCardsAreErrorsNamingTheFile) {
    const std::string broken[] = {
        Card("HISTORY RCP+ goes on without a start"),
        Card("HISTORY RCP: half an escape \\4"),
        Card("HISTORY RCP: not hex \\G1"),
    };
    for (const std::string& cards : broken) {
        try {
            FromCards(cards);
            ADD_FAILURE() << "accepted: " << cards;
        } catch (const Error& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("x.fit: ")) << e.what();
        }
    }
    // Cards after END are not the header's.
    EXPECT_FALSE(FromCards(Card("END") + Card("HISTORY RCP: late")));
}

struct Env {
    Workspace ws;
    Controls f;
    ScriptedHost host;
};

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

TEST(Recipe, FitsChannelFilesEachCarryTheRecipeAndKeepTheirPixels) {
    TempDir dir;
    Env e;
    e.f.ColourStack.Checked = true;
    e.ws.StackTiff.CreateWide(30, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            for (int c = 0; c < 3; ++c) e.ws.StackTiff.SetSample(x, y, c, uint16_t(x * 1000 + y * 17 + c));
    TFITParams params;
    params.Recipe = LongRecipe(300);
    WriteFits(e.ws, e.f, e.host, dir / "jup.fit", 30, 20, 1, 16, params);

    for (int c = 0; c < 3; ++c) {
        const fs::path file = dir / (std::string("jup_") + "RGB"[c] + ".fit");
        EXPECT_EQ(ReadRecipe(file).value_or("(none)"), params.Recipe) << file;
        const std::vector<uint8_t> bytes = ReadBytes(file);
        const FitsFile back = LoadFitsFile(file);
        EXPECT_EQ(back.Header.DataOffset % 2880, 0u);
        // The fixed cards, the recipe cards and END, padded to whole blocks.
        EXPECT_EQ(back.Header.DataOffset, (std::size_t(back.Header.CardCount) * 80 + 2879) / 2880 * 2880);
        EXPECT_GT(back.Header.CardCount, 300);
        EXPECT_EQ(bytes.size(), back.Header.DataOffset + 2880);  // 1200 data bytes, one block
        const std::string end(reinterpret_cast<const char*>(bytes.data()) + (back.Header.CardCount - 1) * 80, 80);
        EXPECT_EQ(end, Card("END"));
        int mismatches = 0;
        ReadFitsRows(back, 30, 20, [&](int x, int y, int64_t v) { mismatches += v != e.ws.StackTiff.Sample(x, y, c); });
        EXPECT_EQ(mismatches, 0) << file;
    }
    // Any of them stands for the result, and so does the name the user gave.
    EXPECT_EQ(RequireRecipe(dir / "jup.fit"), params.Recipe);
    EXPECT_EQ(RequireRecipe(dir / "jup_B.fit"), params.Recipe);

    const std::string python = AstropyPython();
    TALVENOR_REQUIRE_TOOL(!python.empty(), "Python with astropy");
    // A standard reader finds a conformant header (verify raises otherwise) and the same pixels.
    // HISTORY cards pass without a single warning (warnings are errors here).
    const std::string out = RunCapture(
        "'" + python + "' -W error -c \"import sys; "
        "from astropy.io import fits; f = fits.open(sys.argv[1]); "
        "f.verify('exception'); h = f[0].header; "
        "r = len([v for v in h['HISTORY'] if str(v).startswith('RCP')]) > 300; d = int(f[0].data[19, 29]); "
        "f.close(); print(r, d)\" " +
        (dir / "jup_G.fit").string() + " 2>&1");
    EXPECT_EQ(out, "True " + std::to_string(29 * 1000 + 0 * 17 + 1) + "\n");
}

TEST(Recipe, TiffCarriesTheRecipeAsImageDescription) {
    TempDir dir;
    TTIFFBitMap image;
    image.CreateWide(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            for (int c = 0; c < 3; ++c) image.SetSample(x, y, c, uint16_t(x * 9000 + y * 300 + c));
    struct Case {
        const char* what;
        std::string recipe;
        std::optional<std::string> back;
    } cases[] = {
        {"no recipe: the plain layout", "", std::nullopt},
        {"a recipe inline in its entry", "abc", "abc"},
        {"an odd-sized recipe after the directory", LongRecipe(5) + "x", LongRecipe(5) + "x"},
        {"a NUL ends the text", std::string("ab\0cd", 5) + std::string(20, 'e'), "ab"},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / "r.tif";
        SaveToFile(image, file, 48, false, c.recipe);
        EXPECT_EQ(ReadRecipe(file), c.back) << c.what;
        if (c.recipe.empty()) {
            EXPECT_EQ(fs::file_size(file), 170u + 7 * 5 * 6) << c.what;
        }
        TTIFFBitMap read;
        LoadFromFile(read, file);
        int mismatches = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                for (int ch = 0; ch < 3; ++ch) mismatches += read.Sample(x, y, ch) != image.Sample(x, y, ch);
        EXPECT_EQ(mismatches, 0) << c.what;
    }
}

TEST(Recipe, FilesWithoutRecipesAndDamagedFiles) {
    TempDir dir;
    TTIFFBitMap image;
    image.CreateWide(2, 2);
    SaveToFile(image, dir / "long.tif", 48, false, std::string(100, 'r'));
    std::vector<uint8_t> cut = ReadBytes(dir / "long.tif");
    cut.resize(200);  // the description runs past the end
    WriteBytes(dir / "cut.tif", cut);
    WriteBytes(dir / "text.fit", Bytes("hello"));
    WriteBytes(dir / "picture.bmp", Bytes("not a result"));
    SaveToFile(image, dir / "plain.tif");

    EXPECT_FALSE(ReadRecipe(dir / "picture.bmp"));
    EXPECT_FALSE(ReadRecipe(dir / "plain.tif"));
    for (const char* name : {"cut.tif", "text.fit", "missing.fit"}) {
        try {
            ReadRecipe(dir / name);
            ADD_FAILURE() << name << " was accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    // Opening a result as a project needs a recipe in it.
    EXPECT_THROW(RequireRecipe(dir / "plain.tif"), Error);
    EXPECT_THROW(RequireRecipe(dir / "none.fit"), Error);
    EXPECT_TRUE(IsRecipeImageName("a/B.FITS"));
    EXPECT_FALSE(IsRecipeImageName("a/b.rsp"));
    EXPECT_FALSE(IsRecipeImageName("a/b.bmp"));
}

TEST(Recipe, FixedPointStacksAndJpegResultsCarryTheirProject) {
    TempDir dir;
    EXPECT_TRUE(IsRecipeImageName("a/stack.FITR"));
    EXPECT_TRUE(IsRecipeImageName("a/sharp.jpg"));
    EXPECT_TRUE(IsRecipeImageName("a/sharp.JPEG"));
    const std::string recipe = "[Input]\r\nfiletype=AVI\r\nfilename=jupiter.avi\r\n";
    Bitmap24 picture;
    picture.SetSize(4, 3);
    WriteJpeg(dir / "sharp.jpg", picture, recipe);
    EXPECT_EQ(ReadRecipe(dir / "sharp.jpg"), recipe);
    EXPECT_EQ(RequireRecipe(dir / "sharp.jpg"), recipe);
    WriteJpeg(dir / "plain.jpg", picture);
    EXPECT_FALSE(ReadRecipe(dir / "plain.jpg"));
    EXPECT_THROW(RequireRecipe(dir / "plain.jpg"), Error);
    // A colour fixed-point stack saved as NAME.fitr is written as NAME_R/_G/_B.fit.
    std::ofstream(dir / "night_G.fit", std::ios::binary) << "SIMPLE";
    try {
        RequireRecipe(dir / "night.fitr");
        ADD_FAILURE() << "a damaged channel file was accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("night_G.fit"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace talvenor
