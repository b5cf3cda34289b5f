#include "imagefiles/png_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "imagefiles/file_kind.h"
#include "imagefiles/recipe.h"
#include "pnm_reference.h"
#include "support/temp_dir.h"
#include "workspace/error.h"
#include "workspace/file_bytes.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::PnmImage;
using testing::TempDir;

const fs::path kPng = fs::path(TALVENOR_SOURCE_DIR) / "tests" / "data" / "png";
const std::string kRecipe = "[Talvenor]\r\nVersion=2.0\r\nAVI=capture.avi\r\n";

// Same size, channels and samples, with 8-bit references on the decoded x 256 scale.
::testing::AssertionResult SameSamples(const DecodedImage& got, const PnmImage& want) {
    if (got.Width != want.width || got.Height != want.height || got.Channels != want.channels)
        return ::testing::AssertionFailure() << got.Width << "x" << got.Height << "x" << got.Channels << ", expected "
                                             << want.width << "x" << want.height << "x" << want.channels;
    const int shift = want.maxval == 255 ? 8 : 0;
    for (std::size_t i = 0; i < want.samples.size(); ++i)
        if (got.Samples[i] != uint16_t(want.samples[i] << shift))
            return ::testing::AssertionFailure() << "sample " << i << " is " << got.Samples[i] << ", expected "
                                                 << (want.samples[i] << shift);
    return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> Details(const FileInfo& info) { return {info.Details.begin(), info.Details.end()}; }

TEST(PngFile, EveryLayoutDecodesToItsSourcePixels) {
    const struct {
        const char* file;
        const char* reference;
        int bits;  // per pixel as stored
        const char* colourType;
        const char* interlace;
        const char* decoding;
    } cases[] = {
        {"grey1.png", "grey1.pgm", 1, "grey", "none", "as stored"},
        {"grey2.png", "grey2.pgm", 2, "grey", "none", "as stored"},
        {"grey2-interlaced.png", "grey2.pgm", 2, "grey", "Adam7", "as stored"},
        {"grey4.png", "grey4.pgm", 4, "grey", "none", "as stored"},
        {"grey8.png", "grey8.pgm", 8, "grey", "none", "as stored"},
        {"grey16.png", "grey16.pgm", 16, "grey", "none", "as stored"},
        {"grey16-interlaced.png", "grey16.pgm", 16, "grey", "Adam7", "as stored"},
        {"greyalpha8.png", "grey8.pgm", 16, "grey + alpha", "none", "alpha dropped"},
        {"greyalpha16.png", "grey16.pgm", 32, "grey + alpha", "none", "alpha dropped"},
        {"rgb8.png", "rgb8.ppm", 24, "RGB", "none", "as stored"},
        {"rgb8-interlaced.png", "rgb8.ppm", 24, "RGB", "Adam7", "as stored"},
        {"rgb16.png", "rgb16.ppm", 48, "RGB", "none", "as stored"},
        {"rgba8.png", "rgb8.ppm", 32, "RGBA", "none", "alpha dropped"},
        {"rgba16.png", "rgb16.ppm", 64, "RGBA", "none", "alpha dropped"},
        {"palette8.png", "palette.ppm", 8, "palette", "none", "palette expanded to RGB"},
        {"palette4.png", "palette.ppm", 4, "palette", "none", "palette expanded to RGB"},
        {"palette-trns.png", "palette.ppm", 4, "palette", "none", "alpha dropped; palette expanded to RGB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const DecodedImage image = ReadPng(kPng / c.file);
        EXPECT_TRUE(SameSamples(image, testing::ReadPnm(kPng / c.reference)));
        EXPECT_EQ(image.Reader, "libpng");
        const std::string decoding = c.decoding;
        EXPECT_EQ(DescribeDecoding(image), "read by libpng" + (decoding == "as stored" ? "" : " (" + decoding + ")"));

        const FileInfo info = ProbePng(kPng / c.file);
        EXPECT_EQ(info.Format, "PNG");
        EXPECT_EQ(info.Width, 13);
        EXPECT_EQ(info.Height, 11);
        EXPECT_EQ(info.Bits, c.bits);
        auto d = Details(info);
        EXPECT_EQ(d["reader"], "libpng");
        EXPECT_EQ(d["colour type"], c.colourType);
        EXPECT_EQ(d["interlace"], c.interlace);
        EXPECT_EQ(d["recipe"], "no");
        EXPECT_EQ(d["decoding"], c.decoding);
        EXPECT_EQ(DetectFileKind(kPng / c.file), FileKind::Png);
    }
    EXPECT_EQ(FileKindName(FileKind::Png), "PNG");
}

TEST(PngFile, RecipesAreReadFromEveryKindOfTextChunk) {
    // zTXt and iTXt before the pixels (behind another text), tEXt after them.
    for (const char* file : {"text-ztxt.png", "text-itxt.png", "text-after.png"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(ReadRecipe(kPng / file), kRecipe);
        EXPECT_EQ(RequireRecipe(kPng / file), kRecipe);
        EXPECT_EQ(Details(ProbePng(kPng / file))["recipe"], "yes");
    }
    EXPECT_FALSE(ReadRecipe(kPng / "grey8.png"));
    EXPECT_THROW(RequireRecipe(kPng / "grey8.png"), Error);
    EXPECT_TRUE(IsRecipeImageName("a/Result.PNG"));
}

TEST(PngFile, DamagedFilesAreRefusedNamingTheFileAndTheReason) {
    TempDir dir;
    std::ofstream(dir / "empty.png").flush();
    std::ofstream(dir / "not.png") << "GIF89a, not a PNG at all";
    const struct {
        fs::path file;
        const char* reason;
    } cases[] = {
        {kPng / "damaged-truncated.png", "ends early"},
        {kPng / "damaged-crc.png", "CRC"},
        {kPng / "damaged-claims-20000x10000.png", "cannot hold a 20000 x 10000 picture"},
        {dir / "empty.png", "PNG"},
        {dir / "not.png", "PNG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        for (int reader = 0; reader < 3; ++reader) {
            try {
                if (reader == 0) ReadPng(c.file);
                else if (reader == 1) ProbePng(c.file);
                else ReadRecipe(c.file);
                ADD_FAILURE() << "read without an error by reader " << reader;
            } catch (const Error& e) {
                const std::string text = e.what();
                EXPECT_EQ(text.rfind(c.file.string() + ": ", 0), 0u) << text;
                EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            }
        }
    }

    // A file that lacks only its end chunk still holds every pixel.
    std::vector<uint8_t> bytes = ReadFileBytes(kPng / "text-after.png");
    bytes.resize(bytes.size() - 12);
    const DecodedImage image = DecodePng(bytes, "no-end.png");
    EXPECT_TRUE(SameSamples(image, testing::ReadPnm(kPng / "grey8.pgm")));
    ASSERT_EQ(image.Notes.size(), 1u);
    EXPECT_EQ(image.Notes[0], "damage after the last pixel ignored: the file ends early, after " +
                                  std::to_string(bytes.size()) + " bytes");
    EXPECT_EQ(PngDescription(bytes, "no-end.png"), kRecipe);
}

// What another program decodes from a file we wrote: ImageMagick's pixels and its view of our
// text, PIL's pixels (16-bit RGB it gives as the high bytes) and text.
struct OtherReaders {
    std::vector<std::pair<std::string, std::string>> pixelCommands, textCommands;
    explicit OtherReaders(const fs::path& f) {
        const std::string q = testing::ShellQuoted(f);
        const std::string convert = testing::FindTool("convert"), identify = testing::FindTool("identify");
        if (!convert.empty() && !identify.empty()) {
            pixelCommands.emplace_back("ImageMagick", testing::ShellQuoted(convert) + " " + q + " pnm:-");
            textCommands.emplace_back("ImageMagick",
                                      testing::ShellQuoted(identify) + " -format '%[Description]' " + q + " 2>/dev/null");
        } else {
            testing::ReportMissingToolForCase("ImageMagick's convert/identify");
        }
        if (const std::string python = testing::FindPython({"PIL"}); python.empty()) {
            testing::ReportMissingToolForCase("Python with PIL");
        } else {
            const std::string pil =
                testing::ShellQuoted(python) + " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); ";
            pixelCommands.emplace_back("PIL", pil + "im.save(sys.stdout.buffer, \"PPM\")' " + q);
            textCommands.emplace_back(
                "PIL", pil + "sys.stdout.buffer.write(im.text.get(\"Description\", \"\").encode(\"latin-1\"))' " + q);
        }
    }
};

TEST(PngFile, WrittenFilesReadBackExactlyHereAndElsewhere) {
    TempDir dir;
    Bitmap24 colour(29, 17), grey(29, 17);
    TTIFFBitMap wide;
    wide.CreateWide(30, 18);  // a result image: a pixel larger each way than what is saved
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 30; ++x) {
            for (int c = 0; c < 3; ++c) wide.SetSample(x, y, c, uint16_t(x * 2111 + y * 3907 + c * 20011 + x * y * 7));
            if (x < 29 && y < 17) {
                colour.SetPixel(x, y, Bgr{uint8_t(x * 9), uint8_t(y * 15), uint8_t(x * y)});
                grey.SetPixel(x, y, Bgr{uint8_t(x * 8 + y), uint8_t(x * 8 + y), uint8_t(x * 8 + y)});
            }
        }
    WritePng(dir / "colour.png", colour, kRecipe);
    WritePng(dir / "grey.png", grey);
    WritePng16(dir / "wide.png", wide, 29, 17, kRecipe);

    const struct {
        const char* file;
        int bits;
        bool recipe;
    } cases[] = {{"colour.png", 24, true}, {"grey.png", 8, false}, {"wide.png", 48, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = dir / c.file;
        // What we meant to write, as a reference image.
        PnmImage want;
        want.width = 29;
        want.height = 17;
        want.channels = c.bits == 8 ? 1 : 3;
        want.maxval = c.bits == 48 ? 65535 : 255;
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 29; ++x)
                for (int ch = 0; ch < want.channels; ++ch) {
                    const Bgr p = (c.bits == 8 ? grey : colour).Pixel(x, y);
                    want.samples.push_back(c.bits == 48 ? wide.Sample(x, y, ch) : ch == 0 ? p.r : ch == 1 ? p.g : p.b);
                }
        EXPECT_TRUE(SameSamples(ReadPng(file), want));
        EXPECT_EQ(ProbePng(file).Bits, c.bits);
        EXPECT_EQ(ReadRecipe(file), c.recipe ? std::optional<std::string>(kRecipe) : std::nullopt);

        const OtherReaders others(file);
        for (const auto& [who, command] : others.pixelCommands) {
            const testing::CommandOutput out = testing::RunCommand(command);
            ASSERT_EQ(out.status, 0) << who;
            PnmImage got = testing::ParsePnm(out.bytes, who);
            if (who == "PIL" && c.bits == 48) {  // PIL keeps the high byte of 16-bit colour
                PnmImage high = want;
                high.maxval = 255;
                for (uint16_t& v : high.samples) v = uint16_t(v >> 8);
                EXPECT_EQ(got.samples, high.samples) << who;
            } else {
                EXPECT_EQ(got.channels, want.channels) << who;
                EXPECT_EQ(got.maxval, want.maxval) << who;
                EXPECT_EQ(got.samples, want.samples) << who;
            }
        }
        for (const auto& [who, command] : others.textCommands) {
            const testing::CommandOutput out = testing::RunCommand(command);
            ASSERT_EQ(out.status, 0) << who;
            EXPECT_EQ(std::string(out.bytes.begin(), out.bytes.end()), c.recipe ? kRecipe : "") << who;
        }
    }

    // Nothing to save is an error, and the file that was there stays.
    EXPECT_THROW(WritePng16(dir / "colour.png", wide, 31, 17), Error);
    EXPECT_THROW(WritePng(dir / "colour.png", Bitmap24()), Error);
    EXPECT_EQ(ReadRecipe(dir / "colour.png"), kRecipe);
}

}  // namespace
}  // namespace talvenor
