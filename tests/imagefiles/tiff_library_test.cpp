#include "imagefiles/tiff_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagefiles/tiff_file.h"
#include "pnm_reference.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::PnmImage;
using testing::ReadPnm;

const fs::path kLibrary = fs::path(TALVENOR_SOURCE_DIR) / "tests" / "data" / "tiff" / "library";

struct LibraryCase {
    const char* file;
    const char* reference;  // PGM keeps grey, PPM is red, green, blue
    int bits;               // the file's bits per pixel, as LoadFromFile reports them
    const char* decoding;
    double meanError = 0;   // lossy files: the mean difference allowed, in 8-bit levels
};

// Every sample of the picture against the reference: 8-bit references give the levels
// (the sample is the level times 256), 16-bit ones the samples themselves. Lossy files are
// held to a mean difference instead.
::testing::AssertionResult SameSamples(const DecodedImage& got, const PnmImage& want, double meanError) {
    if (got.Width != want.width || got.Height != want.height || got.Channels != want.channels)
        return ::testing::AssertionFailure() << "picture " << got.Width << "x" << got.Height << "x" << got.Channels
                                             << ", expected " << want.width << "x" << want.height << "x" << want.channels;
    double total = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x)
            for (int c = 0; c < want.channels; ++c) {
                const int expected = want.maxval == 255 ? want.At(x, y, c) << 8 : want.At(x, y, c);
                total += std::abs(got.At(x, y, c) - expected) / 256.0;
                if (meanError == 0 && got.At(x, y, c) != expected)
                    return ::testing::AssertionFailure() << "sample (" << x << "," << y << "," << c << ") is "
                                                         << got.At(x, y, c) << ", expected " << expected;
            }
    const double mean = total / double(want.samples.size());
    if (mean > meanError) return ::testing::AssertionFailure() << "mean difference " << mean << " levels";
    return ::testing::AssertionSuccess();
}

TEST(TiffLibraryTest, LayoutsOfOtherWritersDecodeToTheirSources) {
    const LibraryCase cases[] = {
        {"rgb8-deflate-two-pages.tif", "rgb8.ppm", 24, "read by libtiff (2 pages, the first read)"},
        {"rgb8-packbits.tif", "rgb8.ppm", 24, "read by libtiff"},
        {"rgb16-tiles.tif", "rgb16.ppm", 48, "read by libtiff"},
        {"rgb16-planar-lzw-pred.tif", "rgb16.ppm", 48, "read by libtiff"},
        {"grey16-bigtiff-mm.tif", "grey16.pgm", 16, "read by libtiff"},
        {"float32-unit-deflate-fpred.tif", "float32-unit.pgm", 32, "read by libtiff"},
        {"float32-wide-mm.tif", "float32-wide.ppm", 96,
         "read by libtiff (floating-point data -3.5 .. 1200 stretched to full scale)"},
        {"float16.tif", "float16.pgm", 16, "read by libtiff"},
        {"int16.tif", "int16.pgm", 16, "read by libtiff"},
        {"int8.tif", "int8.pgm", 8, "read by libtiff"},
        {"uint32.tif", "uint32.pgm", 32, "read by libtiff"},
        {"grey2.tif", "grey2.pgm", 2, "read by libtiff"},
        {"grey4-white-deflate.tif", "grey4-white.pgm", 4, "read by libtiff"},
        {"palette8-deflate.tif", "palette8.ppm", 8, "read by libtiff"},
        {"rgba-deflate.tif", "rgb8.ppm", 32, "read by libtiff (alpha dropped)"},
        {"grey-alpha.tif", "grey8.pgm", 16, "read by libtiff (alpha dropped)"},
        {"cmyk-deflate.tif", "cmyk.ppm", 32, "read by libtiff (converted to RGB by libtiff)"},
        {"wide-5000-deflate.tif", "wide-5000.pgm", 8, "read by libtiff"},
        {"smooth-jpeg-ycbcr.tif", "smooth.ppm", 24, "read by libtiff (converted to RGB by libtiff)", 2},
    };
    for (const LibraryCase& c : cases) {
        SCOPED_TRACE(c.file);
        const DecodedImage image = ReadTiffWithLibrary(kLibrary / c.file);
        EXPECT_TRUE(SameSamples(image, ReadPnm(kLibrary / c.reference), c.meanError));
        EXPECT_EQ(DescribeDecoding(image), c.decoding);

        // The frame loader's way in: routed to libtiff, the same picture in the wide image.
        TTIFFBitMap bitmap, expected;
        std::string decoding;
        LoadFromFile(bitmap, kLibrary / c.file, &decoding);
        ToWideBitmap(image, expected);
        EXPECT_EQ(decoding, c.decoding);
        EXPECT_EQ(bitmap.BitsPerPixel, c.bits);
        EXPECT_EQ(bitmap.Wide, expected.Wide);
    }
}

std::vector<uint8_t> Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TiffLibraryTest, DamagedFilesAreRefusedNamingFileAndReason) {
    // Compressed data changed or cut short (these files hold their directory before the
    // data), and libtiff's own reason for the rows it cannot give.
    const std::vector<uint8_t> deflate = Bytes(kLibrary / "rgb8-deflate-two-pages.tif");
    const std::vector<uint8_t> wide = Bytes(kLibrary / "wide-5000-deflate.tif");
    const std::vector<uint8_t> plain = Bytes(kLibrary / "int16.tif");
    struct Damage {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    auto zeroed = [](std::vector<uint8_t> b, std::size_t from, std::size_t to) {
        std::fill(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to), uint8_t(0));
        return b;
    };
    const Damage cases[] = {
        {"deflate.tif", zeroed(deflate, 200, 1500), "cannot be read: Decoding error"},
        {"wide.tif", {wide.begin(), wide.end() - 200}, "row 0 cannot be read"},
        {"plain.tif", {plain.begin(), plain.end() - 10}, "cannot be read: Read error"},
        {"empty.tif", {'I', 'I', 42, 0}, "libtiff cannot open it"},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.name);
        try {
            ReadTiffWithLibrary(d.bytes, d.name);
            ADD_FAILURE() << "read without an error";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind(std::string(d.name) + ": ", 0), 0u) << text;
            EXPECT_NE(text.find(d.reason), std::string::npos) << text;
        }
    }
}

TEST(TiffLibraryTest, ProbeNamesTheReaderAndTheLayout) {
    struct ProbeCase {
        const char* file;
        const char* key;
        const char* value;
    };
    const ProbeCase cases[] = {
        {"rgb16-tiles.tif", "tiles", "6 of 16 x 16"},
        {"rgb16-tiles.tif", "reader", "libtiff (not the own reader: tiles)"},
        {"rgb16-planar-lzw-pred.tif", "planar configuration", "2 (separate planes)"},
        {"grey16-bigtiff-mm.tif", "offsets", "64-bit (BigTIFF)"},
        {"grey16-bigtiff-mm.tif", "byte order", "MM big-endian"},
        {"int16.tif", "sample format", "signed integer"},
        {"rgb8-deflate-two-pages.tif", "pages", "2"},
        {"rgb8-deflate-two-pages.tif", "compression", "Deflate (8)"},
        {"float32-wide-mm.tif", "changes", "floating-point data -3.5 .. 1200 stretched to full scale"},
        {"rgba-deflate.tif", "changes", "alpha dropped"},
        {"rgb8-packbits.tif", "changes", "none"},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.key);
        const FileInfo info = ProbeTiff(kLibrary / c.file);
        std::string value = "(absent)";
        for (const auto& [key, v] : info.Details)
            if (key == c.key) value = v;
        EXPECT_EQ(value, c.value);
    }
}

}  // namespace
}  // namespace talvenor
