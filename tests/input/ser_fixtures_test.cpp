// The SER reader against small files written by an independent script from the format's
// public description (tests/input/fixtures/ser/make_fixtures.py): every colour layout, 8,
// 16 and in-between depths, both byte orders with the header's flag right and inverted,
// with and without the timestamp trailer, frame counts larger than the data or missing, and
// the cyan-yellow-magenta patterns the program cannot read. expected.txt, written by the
// same script, says what must come out of each file, sample by sample.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "input/ser_file.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

const fs::path kDir = fs::path(TALVENOR_SOURCE_DIR) / "tests/input/fixtures/ser";

struct Expected {
    std::string file;
    std::map<std::string, std::string> fields;      // key -> rest of the line
    std::map<int, std::vector<uint16_t>> frames;     // frame -> samples
    const std::string& Get(const std::string& key) const {
        static const std::string none;
        const auto it = fields.find(key);
        return it == fields.end() ? none : it->second;
    }
    int64_t Int(const std::string& key) const { return std::stoll(Get(key)); }
};

std::vector<Expected> LoadExpected() {
    std::vector<Expected> all;
    std::ifstream in(kDir / "expected.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "file") {
            all.push_back({rest, {}, {}});
        } else if (key == "frame") {
            std::istringstream values(rest);
            int k = 0;
            values >> k;
            std::vector<uint16_t>& samples = all.back().frames[k];
            for (unsigned v; values >> v;) samples.push_back(uint16_t(v));
        } else {
            all.back().fields[key] = rest;
        }
    }
    return all;
}

std::vector<int64_t> Numbers(const std::string& text) {
    std::vector<int64_t> out;
    std::istringstream in(text);
    for (int64_t v; in >> v;) out.push_back(v);
    return out;
}

TEST(SerFixtures, EveryFileReadsAsItsWriterSays) {
    const std::vector<Expected> all = LoadExpected();
    ASSERT_GE(all.size(), 30u) << "expected.txt missing or cut short in " << kDir;
    int refused = 0, inverted = 0, warned = 0, withTrailer = 0;
    for (const Expected& e : all) {
        SCOPED_TRACE(e.file);
        const fs::path file = kDir / e.file;
        ASSERT_TRUE(fs::is_regular_file(file));
        if (!e.Get("error").empty()) {
            ++refused;
            try {
                SerFile ser(file);
                ADD_FAILURE() << "opened although it should be refused";
            } catch (const Error& error) {
                const std::string text = error.what();
                EXPECT_EQ(text.rfind(e.file + ": ", 0), 0u) << text;
                EXPECT_NE(text.find(e.Get("error")), std::string::npos) << text;
            }
            continue;
        }

        SerFile ser(file);
        const SerHeader& h = ser.Header();
        EXPECT_EQ(h.ColorId, e.Int("colorid"));
        EXPECT_EQ(SerColourName(ser.Colour()), e.Get("colour"));
        const std::vector<int64_t> size = Numbers(e.Get("size"));
        ASSERT_EQ(size.size(), 2u);
        EXPECT_EQ(ser.Width(), size[0]);
        EXPECT_EQ(ser.Height(), size[1]);
        EXPECT_EQ(ser.PixelDepth(), e.Int("depth"));
        EXPECT_EQ(h.LuId, e.Int("luid"));
        EXPECT_EQ(h.LittleEndian, e.Int("flag"));
        EXPECT_EQ(h.FrameCount, e.Int("announced"));
        EXPECT_EQ(ser.FrameCount(), e.Int("frames"));
        EXPECT_EQ(h.Observer, e.Get("observer"));
        EXPECT_EQ(h.Instrument, e.Get("instrument"));
        EXPECT_EQ(h.Telescope, e.Get("telescope"));
        EXPECT_EQ(h.DateTime, e.Int("datetime"));
        EXPECT_EQ(h.DateTimeUtc, e.Int("datetime_utc"));

        if (h.BytesPerSample() == 2) {
            const bool little = e.Get("order") == "little";
            EXPECT_EQ(ser.SamplesLittleEndian(), little) << "byte order";
            EXPECT_EQ(ser.FlagAgrees(), little == (h.LittleEndian != 0));
            inverted += little != (h.LittleEndian != 0);
        }

        if (e.Get("warning") == "none") {
            EXPECT_EQ(ser.Warning(), "");
        } else {
            ++warned;
            EXPECT_NE(ser.Warning().find(e.Get("warning")), std::string::npos) << ser.Warning();
        }

        if (e.Get("timestamps") == "none") {
            EXPECT_FALSE(ser.HasTimestamps());
        } else {
            ++withTrailer;
            EXPECT_EQ(ser.Timestamps(), Numbers(e.Get("timestamps")));
        }

        ASSERT_EQ(e.frames.size(), std::size_t(ser.FrameCount()));
        std::vector<uint16_t> samples;
        for (const auto& [k, want] : e.frames) {
            ser.ReadFrame(k, samples);
            EXPECT_EQ(samples, want) << "frame " << k;
        }
        EXPECT_THROW(ser.ReadFrame(ser.FrameCount(), samples), Error);
    }
    // The script's cases all arrived: a shorter expected.txt would pass on less.
    EXPECT_EQ(refused, 4);
    EXPECT_EQ(inverted, 4);
    EXPECT_EQ(warned, 3);
    EXPECT_GE(withTrailer, 10);
}

}  // namespace
}  // namespace talvenor
