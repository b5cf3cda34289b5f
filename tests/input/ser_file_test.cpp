// The SER reader against files written here byte by byte: every colour layout at 8 and 16
// bits in both byte orders (with the header's flag right and inverted), the timestamp
// trailer, captures shorter than their header says, and malformed headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/ser_file.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

void Put32(std::vector<uint8_t>& b, std::size_t at, int32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(uint32_t(v) >> (8 * k));
}
void Put64(std::vector<uint8_t>& b, std::size_t at, int64_t v) {
    for (int k = 0; k < 8; ++k) b[at + k] = uint8_t(uint64_t(v) >> (8 * k));
}

struct Capture {
    int colorId = 0;
    int width = 5, height = 3, depth = 8;
    int frames = 2;              // frames written
    int announced = -1;          // header's count; -1: as written
    bool littleData = true;      // byte order of 16-bit samples
    int flag = 1;                // the header's LittleEndian field
    bool trailer = false;
    int planes() const { return colorId == 100 || colorId == 101 ? 3 : 1; }
};

// Sample k of frame f: a ramp over the whole range of the depth with some low-bit detail,
// smooth as real pictures are.
uint16_t SampleValue(const Capture& c, int f, std::size_t k) {
    const uint32_t max = (1u << c.depth) - 1;
    const std::size_t n = std::size_t(c.width) * std::size_t(c.height) * std::size_t(c.planes());
    const uint32_t step = uint32_t(max / (n + 2));
    return uint16_t(std::min<uint32_t>(max, uint32_t(k) * step + uint32_t(f) % 4 + uint32_t(k % 3)));
}

int64_t Stamp(int f) { return 638000000000000000LL + 333333LL * f; }

std::vector<uint8_t> SerBytes(const Capture& c) {
    std::vector<uint8_t> b(kSerHeaderSize, 0);
    std::memcpy(b.data(), "LUCAM-RECORDER", 14);
    Put32(b, 14, 7);
    Put32(b, 18, c.colorId);
    Put32(b, 22, c.flag);
    Put32(b, 26, c.width);
    Put32(b, 30, c.height);
    Put32(b, 34, c.depth);
    Put32(b, 38, c.announced < 0 ? c.frames : c.announced);
    std::memcpy(b.data() + 42, "Observer  ", 10);
    std::memcpy(b.data() + 82, "Camera", 6);
    std::memcpy(b.data() + 122, "C14", 3);
    Put64(b, 162, 111);
    Put64(b, 170, 222);
    const std::size_t n = std::size_t(c.width) * std::size_t(c.height) * std::size_t(c.planes());
    for (int f = 0; f < c.frames; ++f)
        for (std::size_t k = 0; k < n; ++k) {
            const uint16_t v = SampleValue(c, f, k);
            if (c.depth <= 8) {
                b.push_back(uint8_t(v));
            } else if (c.littleData) {
                b.push_back(uint8_t(v));
                b.push_back(uint8_t(v >> 8));
            } else {
                b.push_back(uint8_t(v >> 8));
                b.push_back(uint8_t(v));
            }
        }
    if (c.trailer)
        for (int f = 0; f < c.frames; ++f) {
            b.resize(b.size() + 8);
            Put64(b, b.size() - 8, Stamp(f));
        }
    return b;
}

fs::path Write(const testing::TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path file = dir / name;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return file;
}

struct LayoutCase {
    const char* label;
    Capture capture;
    SerColour colour;
};

const LayoutCase kLayouts[] = {
    {"mono8", {.colorId = 0, .depth = 8}, SerColour::Mono},
    {"mono16-little", {.colorId = 0, .depth = 16, .littleData = true, .flag = 1}, SerColour::Mono},
    {"mono16-big", {.colorId = 0, .depth = 16, .littleData = false, .flag = 0}, SerColour::Mono},
    {"mono12-little-flag-inverted", {.colorId = 0, .depth = 12, .littleData = true, .flag = 0}, SerColour::Mono},
    {"mono12-big-flag-inverted", {.colorId = 0, .depth = 12, .littleData = false, .flag = 1}, SerColour::Mono},
    {"mono16-big-flag-inverted", {.colorId = 0, .width = 16, .height = 8, .depth = 16, .littleData = false, .flag = 1}, SerColour::Mono},
    {"rggb8", {.colorId = 8, .width = 4, .height = 4, .depth = 8}, SerColour::BayerRggb},
    {"grbg10", {.colorId = 9, .width = 4, .height = 4, .depth = 10}, SerColour::BayerGrbg},
    {"gbrg16-big", {.colorId = 10, .width = 4, .height = 4, .depth = 16, .littleData = false, .flag = 0}, SerColour::BayerGbrg},
    {"bggr14-big-flag-inverted", {.colorId = 11, .width = 6, .height = 4, .depth = 14, .littleData = false, .flag = 1}, SerColour::BayerBggr},
    {"rgb8", {.colorId = 100, .depth = 8}, SerColour::Rgb},
    {"bgr8", {.colorId = 101, .depth = 8}, SerColour::Bgr},
    {"rgb16-little", {.colorId = 100, .depth = 16}, SerColour::Rgb},
    {"bgr12-big-flag-inverted", {.colorId = 101, .depth = 12, .littleData = false, .flag = 1}, SerColour::Bgr},
};

TEST(SerFile, EveryLayoutReadsBackExactly) {
    testing::TempDir dir;
    for (const LayoutCase& lc : kLayouts) {
        SCOPED_TRACE(lc.label);
        const Capture& c = lc.capture;
        SerFile ser(Write(dir, std::string(lc.label) + ".ser", SerBytes(c)));
        EXPECT_EQ(ser.Colour(), lc.colour);
        EXPECT_EQ(ser.Width(), c.width);
        EXPECT_EQ(ser.Height(), c.height);
        EXPECT_EQ(ser.PixelDepth(), c.depth);
        EXPECT_EQ(ser.FrameCount(), c.frames);
        EXPECT_EQ(ser.Warning(), "");
        EXPECT_FALSE(ser.HasTimestamps());
        if (c.depth > 8) {
            EXPECT_EQ(ser.SamplesLittleEndian(), c.littleData);
            EXPECT_EQ(ser.FlagAgrees(), c.littleData == (c.flag != 0));
        }

        const int shift = c.depth > 8 ? c.depth - 8 : 0;
        std::vector<uint16_t> samples;
        Bitmap24 picture, alone;
        for (int f = 0; f < c.frames; ++f) {
            ser.ReadFrame(f, samples, picture);
            // The picture-only read (8-bit frames straight into the picture) agrees with the
            // combined one, into a picture reused from frame to frame.
            ser.ReadFrame(f, alone);
            ASSERT_EQ(alone, picture);
            ASSERT_EQ(samples.size(), std::size_t(c.width * c.height * c.planes()));
            for (std::size_t k = 0; k < samples.size(); ++k) ASSERT_EQ(samples[k], SampleValue(c, f, k)) << "frame " << f << " sample " << k;

            ASSERT_EQ(picture.Width(), c.width);
            ASSERT_EQ(picture.Height(), c.height);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) {
                    const std::size_t at = (std::size_t(y) * c.width + x) * c.planes();
                    auto level = [&](std::size_t k) { return uint8_t(SampleValue(c, f, k) >> shift); };
                    Bgr want;
                    if (lc.colour == SerColour::Rgb) want = {level(at + 2), level(at + 1), level(at)};
                    else if (lc.colour == SerColour::Bgr) want = {level(at), level(at + 1), level(at + 2)};
                    else want = {level(at), level(at), level(at)};
                    ASSERT_EQ(picture.Pixel(x, y), want) << "frame " << f << " at " << x << "," << y;
                }
        }
    }
}

TEST(SerFile, HeaderFieldsAreParsed) {
    const std::vector<uint8_t> bytes = SerBytes({.colorId = 9, .width = 640, .height = 480, .depth = 12, .frames = 0, .announced = 1234, .flag = 0});
    const SerHeader h = ReadSerHeader(bytes, "x.ser");
    EXPECT_EQ(h.LuId, 7);
    EXPECT_EQ(h.ColorId, 9);
    EXPECT_EQ(h.Colour, SerColour::BayerGrbg);
    EXPECT_EQ(h.LittleEndian, 0);
    EXPECT_EQ(h.Width, 640);
    EXPECT_EQ(h.Height, 480);
    EXPECT_EQ(h.PixelDepth, 12);
    EXPECT_EQ(h.FrameCount, 1234);
    EXPECT_EQ(h.Observer, "Observer");
    EXPECT_EQ(h.Instrument, "Camera");
    EXPECT_EQ(h.Telescope, "C14");
    EXPECT_EQ(h.DateTime, 111);
    EXPECT_EQ(h.DateTimeUtc, 222);
    EXPECT_EQ(h.FrameBytes(), 640u * 480u * 2u);
    EXPECT_STREQ(SerColourName(h.Colour), "GRBG");
}

TEST(SerFile, FrameCountTrailerAndShortCaptures) {
    testing::TempDir dir;
    const Capture base{.colorId = 0, .width = 4, .height = 2, .depth = 16, .frames = 3};
    const std::size_t frameBytes = 4 * 2 * 2;
    struct Case {
        const char* label;
        Capture capture;
        int dropBytes;       // cut off the end of the file
        int64_t frames;      // frames the reader offers
        bool timestamps;
        const char* warning;  // expected inside Warning(), "" for none
    };
    Capture trailer = base;
    trailer.trailer = true;
    Capture overAnnounced = base;
    overAnnounced.announced = 10;
    Capture overWithTrailer = overAnnounced;
    // With a wrong count the trailer cannot be told from frame data: its bytes make a frame.
    overWithTrailer.trailer = true;
    Capture unannounced = base;
    unannounced.announced = 0;
    // Fewer frames counted than written, no trailer: the extra frame's bytes are no timestamps.
    Capture underAnnounced = base;
    underAnnounced.announced = 2;
    const Case cases[] = {
        {"no trailer", base, 0, 3, false, ""},
        {"trailer", trailer, 0, 3, true, ""},
        {"trailer cut short", trailer, 1, 3, false, ""},
        {"last frame cut short", base, 1, 2, false, "announces 3 frames but the file holds only 2"},
        {"count beyond data", overAnnounced, 0, 3, false, "announces 10 frames but the file holds only 3"},
        {"count beyond data, trailer", overWithTrailer, 0, 4, false, "announces 10 frames but the file holds only 4"},
        {"count of zero", unannounced, 0, 3, false, "announces no frames"},
        {"count below data", underAnnounced, 0, 3, false, "announces 2 frames but the file holds 3"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.label);
        std::vector<uint8_t> bytes = SerBytes(tc.capture);
        bytes.resize(bytes.size() - std::size_t(tc.dropBytes));
        SerFile ser(Write(dir, "c.ser", bytes));
        EXPECT_EQ(ser.FrameCount(), tc.frames);
        EXPECT_EQ(ser.HasTimestamps(), tc.timestamps);
        if (tc.timestamps) {
            ASSERT_EQ(ser.Timestamps().size(), 3u);
            EXPECT_EQ(ser.FirstTimestamp(), Stamp(0));
            EXPECT_EQ(ser.LastTimestamp(), Stamp(2));
        }
        if (*tc.warning) {
            EXPECT_EQ(ser.Warning().rfind("c.ser: ", 0), 0u) << ser.Warning();
            EXPECT_NE(ser.Warning().find(tc.warning), std::string::npos) << ser.Warning();
        } else {
            EXPECT_EQ(ser.Warning(), "");
        }
        // The last frame offered reads; the one after it is refused with the file's name.
        std::vector<uint16_t> samples;
        ser.ReadFrame(ser.FrameCount() - 1, samples);
        EXPECT_EQ(samples.size(), frameBytes / 2);
        if (tc.frames <= 3) {
            EXPECT_EQ(samples[5], SampleValue(tc.capture, int(tc.frames - 1), 5));
        }
        for (int64_t bad : {ser.FrameCount(), int64_t(-1)}) {
            try {
                ser.ReadFrame(bad, samples);
                ADD_FAILURE() << "frame " << bad << " was read";
            } catch (const Error& e) {
                EXPECT_EQ(std::string(e.what()).rfind("c.ser: ", 0), 0u) << e.what();
            }
        }
    }
}

TEST(SerFile, MalformedFilesAreRefusedWithTheirName) {
    testing::TempDir dir;
    auto with = [](std::size_t at, int32_t v) {
        std::vector<uint8_t> b = SerBytes({});
        Put32(b, at, v);
        return b;
    };
    std::vector<uint8_t> badId = SerBytes({});
    badId[0] = 'X';
    std::vector<uint8_t> noFrame = SerBytes({.frames = 1});
    noFrame.pop_back();
    std::vector<uint8_t> truncated = SerBytes({});
    truncated.resize(100);
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {"empty file", {}, "too short for a SER header (0 of 178 bytes)"},
        {"truncated header", truncated, "(100 of 178 bytes)"},
        {"no signature", badId, "not a SER file"},
        {"CYYM", with(18, 16), "colour pattern CYYM (ColorID 16) is not supported"},
        {"YCMY", with(18, 17), "colour pattern YCMY"},
        {"YMCY", with(18, 18), "colour pattern YMCY"},
        {"MYYC", with(18, 19), "colour pattern MYYC"},
        {"unknown colour", with(18, 5), "unknown colour layout (ColorID 5)"},
        {"zero width", with(26, 0), "frame size 0 x 3"},
        {"zero height", with(30, 0), "frame size 5 x 0"},
        {"negative width", with(26, -5), "frame size -5 x 3"},
        {"huge width", with(26, 0x7FFFFFFF), "frame size 2147483647 x 3"},
        {"depth 0", with(34, 0), "pixel depth 0"},
        {"depth 17", with(34, 17), "pixel depth 17"},
        {"negative count", with(38, -1), "negative frame count"},
        {"no whole frame", noFrame, "no whole frame"},
        {"header only", SerBytes({.frames = 0}), "no whole frame"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.label);
        const fs::path file = Write(dir, "bad.ser", tc.bytes);
        try {
            SerFile ser(file);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind("bad.ser: ", 0), 0u) << text;
            EXPECT_NE(text.find(tc.message), std::string::npos) << text;
        }
    }
    try {
        SerFile ser(dir / "missing.ser");
        ADD_FAILURE() << "opened a missing file";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("missing.ser: cannot be opened", 0), 0u) << e.what();
    }
}

TEST(SerFile, ByteOrderIsDecidedFromTheData) {
    // Pairs of bytes: {low, high} when read little-endian.
    struct Case {
        const char* label;
        std::vector<uint8_t> data;
        int depth;
        bool flag;
        bool little;
    };
    const Case cases[] = {
        // 12-bit values 0x0123, 0x0456: read big-endian they become 0x2301, 0x5604.
        {"fits only little", {0x23, 0x01, 0x56, 0x04}, 12, false, true},
        {"fits only big", {0x01, 0x23, 0x04, 0x56}, 12, true, false},
        // 16 bits: both fit; 0x8010, 0x8020, 0x8030 are smooth, 0x1080, 0x2080, 0x3080 are not.
        {"smoother little", {0x10, 0x80, 0x20, 0x80, 0x30, 0x80}, 16, false, true},
        {"smoother big", {0x80, 0x10, 0x80, 0x20, 0x80, 0x30}, 16, true, false},
        // 12 bits stored left-aligned (1000, 1012, 1024 shifted up by 4): over the depth either
        // way, so smoothness decides rather than the count over the depth.
        {"left-aligned little", {0x80, 0x3E, 0x40, 0x3F, 0x00, 0x40}, 12, false, true},
        // A flat frame: the smaller high bytes decide.
        {"flat, small high byte little", {0x40, 0x02, 0x40, 0x02}, 16, false, true},
        {"flat, small high byte big", {0x02, 0x40, 0x02, 0x40}, 16, true, false},
        // Nothing tells the orders apart: the flag decides.
        {"undecidable, flag little", {0x11, 0x11, 0x11, 0x11}, 16, true, true},
        {"undecidable, flag big", {0x11, 0x11, 0x11, 0x11}, 16, false, false},
        {"no data", {}, 16, false, false},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.label);
        EXPECT_EQ(DetectSerLittleEndian(tc.data, tc.depth, 1, tc.flag), tc.little);
    }
}

TEST(SerFile, RenderingHoldsOutOfRangeSamplesAndOrderCanBeForced) {
    testing::TempDir dir;
    // A 10-bit mono frame whose second sample is a hot pixel beyond 10 bits.
    Capture c{.colorId = 0, .width = 2, .height = 1, .depth = 10, .frames = 1};
    std::vector<uint8_t> bytes = SerBytes(c);
    const std::size_t at = kSerHeaderSize;
    bytes[at] = 0x00; bytes[at + 1] = 0x02;      // 512
    bytes[at + 2] = 0xFF; bytes[at + 3] = 0xFF;  // 65535
    const fs::path file = Write(dir, "hot.ser", bytes);

    SerFile ser(file, SerByteOrder::Little);
    std::vector<uint16_t> samples;
    Bitmap24 picture;
    ser.ReadFrame(0, samples, picture);
    EXPECT_EQ(samples, (std::vector<uint16_t>{512, 65535}));
    EXPECT_EQ(picture.Pixel(0, 0), (Bgr{128, 128, 128}));
    EXPECT_EQ(picture.Pixel(1, 0), (Bgr{255, 255, 255}));

    SerFile forcedBig(file, SerByteOrder::Big);
    forcedBig.ReadFrame(0, samples);
    EXPECT_FALSE(forcedBig.SamplesLittleEndian());
    EXPECT_EQ(samples, (std::vector<uint16_t>{2, 65535}));
}

}  // namespace
}  // namespace talvenor
