// FITS kinds our own reader leaves to cfitsio, checked against the 16-bit pictures
// fixtures/21-fits-kinds.sh computed from the arrays astropy wrote; and the routing between
// the two readers as frames of a series see it.
#include "imagefiles/fits_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "imagefiles/fits_file.h"
#include "pnm_reference.h"
#include "support/temp_dir.h"
#include "workspace/controls.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
const fs::path kFits = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/fits";

::testing::AssertionResult SameSamples(const DecodedImage& got, const testing::PnmImage& want) {
    if (got.Width != want.width || got.Height != want.height || got.Channels != want.channels)
        return ::testing::AssertionFailure() << got.Width << "x" << got.Height << "x" << got.Channels << ", expected "
                                             << want.width << "x" << want.height << "x" << want.channels;
    for (int y = 0; y < got.Height; ++y)
        for (int x = 0; x < got.Width; ++x)
            for (int c = 0; c < got.Channels; ++c)
                if (got.At(x, y, c) != want.At(x, y, c))
                    return ::testing::AssertionFailure() << "(" << x << "," << y << "," << c << ") is " << got.At(x, y, c)
                                                         << ", expected " << want.At(x, y, c);
    return ::testing::AssertionSuccess();
}

TEST(FitsLibrary, EveryKindDecodesToTheReferencePicture) {
    const struct {
        const char* fits;
        const char* reference;
        const char* reader;  // the reader ReadFitsImage routes the file to
        const char* note;    // a note the decoding must carry; empty: none at all
    } cases[] = {
        {"kind-bitpix8.fit", "kind-bitpix8.pgm", "cfitsio", ""},
        {"kind-bscale2.fit", "kind-bscale2.pgm", "cfitsio", ""},
        {"kind-i32.fit", "kind-i32.pgm", "Talvenor FITS reader", "integer data -9.93827e+08 .. 1.3e+09 stretched"},
        {"kind-i32-small.fit", "kind-i32-small.pgm", "Talvenor FITS reader", ""},
        {"kind-f32-unit.fit", "kind-f32-unit.pgm", "cfitsio", ""},
        {"kind-f32-wide.fit", "kind-f32-wide.pgm", "cfitsio", "floating-point data -7 .. 1199.5 stretched"},
        {"kind-f64.fit", "kind-f64.pgm", "cfitsio", "floating-point data -7 .. 7.29999e+06 stretched"},
        {"kind-cube3.fit", "kind-cube3.ppm", "cfitsio", "colour cube"},
        {"kind-naxis3-1.fit", "kind-naxis3-1.pgm", "cfitsio", ""},
        {"kind-extension.fit", "kind-extension.pgm", "cfitsio", "image in extension 1"},
        {"kind-tiles.fits", "kind-tiles.pgm", "cfitsio", "tile-compressed (RICE_1)"},
        {"kind-gzip.fits.gz", "kind-gzip.pgm", "cfitsio", "gzip-compressed file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fits);
        const testing::PnmImage want = testing::ReadPnm(kFits / c.reference);
        const DecodedImage library = ReadFitsWithLibrary(kFits / c.fits);
        EXPECT_TRUE(SameSamples(library, want));
        const DecodedImage routed = ReadFitsImage(kFits / c.fits, false);
        EXPECT_TRUE(SameSamples(routed, want));
        EXPECT_EQ(routed.Reader, c.reader);
        const std::string notes = DescribeDecoding(routed);
        if (*c.note) EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
        else EXPECT_EQ(notes, "read by " + routed.Reader);
    }
}

TEST(FitsLibrary, FilesNeitherReaderTakesAreErrorsThatLeaveTheFrameAlone) {
    testing::TempDir dir;
    // A header whose BITPIX no FITS reader knows, and one promising far more than the file holds.
    for (const auto& [name, bitpix, side] : {std::tuple("bitpix24.fit", "24", "2"), std::tuple("huge.fit", "-32", "16000")}) {
        std::string text;
        for (const std::string& card : {std::string("SIMPLE  = T"), std::string("BITPIX  = ") + bitpix, std::string("NAXIS   = 2"),
                                       std::string("NAXIS1  = ") + side, std::string("NAXIS2  = ") + side, std::string("END")})
            text += (card + std::string(80, ' ')).substr(0, 80);
        text.resize(2 * 2880, ' ');
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    const struct {
        fs::path file;
        const char* reason;
    } cases[] = {
        {kFits / "kind-naxis3-5.fit", "NAXIS3 = 5: neither grey nor a colour cube"},
        {kFits / "absent.fit", "cannot open"},
        {dir / "bitpix24.fit", "unsupported fits format (BITPIX 24)"},
        {dir / "huge.fit", "image data ends early (needs 1024000000 bytes, the file has 5760)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        Workspace ws;
        Controls f;
        ScriptedHost host;
        ReadFitsFrame(ws, f, host, kFits / "u16.fit");
        const Bitmap24 before = ws.CurrentFrameImage;
        try {
            ReadFitsFrame(ws, f, host, c.file);
            ADD_FAILURE() << "read without an error";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_TRUE(text.starts_with(c.file.string() + ": ")) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        }
        EXPECT_EQ(ws.CurrentFrameImage, before);
        EXPECT_EQ(host.Cursor, CursorKind::Default);
        EXPECT_TRUE(host.Messages.empty());
    }
}

TEST(FitsLibrary, GreyFramesFromCfitsioLevelLikeOurOwnSixteenBitFrames) {
    // The same values as u16.fit, in an extension, tile- and gzip-compressed: the frame, plane
    // and picture must be the ones our own reader makes of u16.fit, with either level choice.
    for (bool stretch : {false, true}) {
        Workspace own;
        Controls f;
        ScriptedHost host;
        own.StretchFitsLevels = stretch;
        ReadFitsFrame(own, f, host, kFits / "u16.fit");
        for (const char* name : {"kind-extension.fit", "kind-tiles.fits", "kind-gzip.fits.gz", "kind-naxis3-1.fit"}) {
            SCOPED_TRACE(std::string(name) + (stretch ? " stretched" : ""));
            Workspace ws;
            ws.StretchFitsLevels = stretch;
            ReadFitsFrame(ws, f, host, kFits / name);
            EXPECT_EQ(ws.CurrentFrameImage, own.CurrentFrameImage);
            ASSERT_EQ(ws.FitsPlane.Width(), own.FitsPlane.Width());
            ASSERT_EQ(ws.FitsPlane.Height(), own.FitsPlane.Height());
            for (int y = 0; y < ws.FitsPlane.Height(); ++y)
                for (int x = 0; x < ws.FitsPlane.Width(); ++x) ASSERT_EQ(ws.FitsPlane.Get(x, y), own.FitsPlane.Get(x, y));
            EXPECT_EQ(ws.ImageWidth, 7);
            EXPECT_FALSE(ws.FrameIsWide);
        }
    }
}

TEST(FitsLibrary, AColourCubeBecomesAWideFrame) {
    Workspace ws;
    Controls f;
    ScriptedHost host;
    ws.FitsBayerPattern = "RGGB";  // left from a mosaic frame before it
    ReadFitsFrame(ws, f, host, kFits / "kind-cube3.fit");
    const testing::PnmImage want = testing::ReadPnm(kFits / "kind-cube3.ppm");
    ASSERT_TRUE(ws.FrameIsWide);
    ASSERT_EQ(ws.FrameWide.Width(), 7);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(ws.FrameWide.Sample(x, y, c), want.At(x, y, c)) << x << "," << y;
    EXPECT_TRUE(testing::SamePixels(ws.CurrentFrameImage, want.ToBitmap24()));
    EXPECT_EQ(std::tie(ws.ImageWidth, ws.ImageHeight), std::tuple(7, 5));
    EXPECT_FALSE(ws.FitsPlane.Allocated());
    EXPECT_EQ(ws.FitsBayerPattern, "");
}

TEST(FitsLibrary, ProbeNamesTheReaderTheUnitAndTheDecoding) {
    const struct {
        const char* file;
        std::vector<std::pair<std::string, std::string>> details;
    } cases[] = {
        {"kind-extension.fit", {{"reader", "cfitsio"}, {"HDU", "extension 1"}, {"NAXIS3", "absent"}}},
        {"kind-tiles.fits", {{"compression", "RICE_1"}, {"BITPIX", "16"}, {"BZERO", "32768"}}},
        {"kind-bscale2.fit", {{"BSCALE", "2"}, {"decoding", "read by cfitsio"}}},
        {"kind-naxis3-5.fit",
         {{"NAXIS3", "5"}, {"decoding", "refused (NAXIS3 = 5: neither grey nor a colour cube)"}}},
        {"u16.fit", {{"reader", "Talvenor FITS reader"}, {"HDU", "primary"}, {"BSCALE", "1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const FileInfo info = ProbeFits(kFits / c.file);
        EXPECT_EQ(std::tie(info.Width, info.Height), std::tuple(7, 5));
        for (const auto& d : c.details)
            EXPECT_NE(std::find(info.Details.begin(), info.Details.end(), d), info.Details.end()) << d.first << ": " << d.second;
    }
}

}  // namespace
}  // namespace talvenor
