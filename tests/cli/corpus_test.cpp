// Every picture of the corpus other programs' test suites hold (tests/data/corpus, with its
// provenance in README.md) either decodes as another decoder decodes it (tifffile, PIL or
// astropy, run by corpus_reference.py) or is refused with a reason that names the file.
// Never a silent black or wrong picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "input/any_picture.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

struct Reference {
    std::string file;
    bool known = false;  // an independent decoder read it
    int width = 0, height = 0, channels = 0, tolerance = 0;
    std::string rawOrReason;
};

std::vector<Reference> ReadManifest(const fs::path& path) {
    std::vector<Reference> refs;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Reference r;
        std::string status;
        std::getline(fields, r.file, '\t');
        std::getline(fields, status, '\t');
        fields >> r.width >> r.height >> r.channels >> r.tolerance;
        fields.ignore(1);
        std::getline(fields, r.rawOrReason);
        r.known = status == "ok";
        if (!r.file.empty()) refs.push_back(r);
    }
    return refs;
}

std::vector<uint16_t> ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<uint16_t> v(bytes.size() / 2);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    return v;
}

// Empty when our picture matches the reference; else what differs.
std::string Compare(const AnyPicture& ours, const Reference& ref, const std::vector<uint16_t>& samples) {
    const TTIFFBitMap& image = ours.Image;
    if (image.Width() != ref.width || image.Height() != ref.height)
        return "size " + std::to_string(image.Width()) + " x " + std::to_string(image.Height()) + ", reference " +
               std::to_string(ref.width) + " x " + std::to_string(ref.height);
    if (samples.size() != std::size_t(ref.width) * ref.height * ref.channels) return "reference data incomplete";
    int worst = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int want = samples[(std::size_t(y) * ref.width + x) * ref.channels + (ref.channels == 1 ? 0 : c)];
                // 8-bit pictures are compared by their 8-bit values (the display picture).
                const int got = ours.EightBit ? image.Picture.Row(y)[3 * x + 2 - c] * 256 : image.Sample(x, y, c);
                const int diff = std::abs(got - (ours.EightBit ? want / 256 * 256 : want));
                worst = std::max(worst, diff);
            }
    if (worst > ref.tolerance) return "differs by up to " + std::to_string(worst) + " (of 65535)";
    return {};
}

bool AllBlack(const TTIFFBitMap& image) {
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (image.Sample(x, y, c) != 0) return false;
    return true;
}

TEST(Corpus, EveryFileDecodesLikeAnotherDecoderOrIsRefusedWithItsName) {
    const fs::path corpus = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corpus";
    const fs::path script = fs::path(TALVENOR_SOURCE_DIR) / "tests/cli/corpus_reference.py";
    const std::string python = testing::FindPython({"numpy", "PIL", "tifffile", "astropy"});
    TALVENOR_REQUIRE_TOOL(!python.empty(), "Python with numpy, PIL, tifffile and astropy (the reference decoders)");
    testing::TempDir refs;
    const std::string command = "'" + python + "' '" + script.string() + "' '" + corpus.string() + "' '" +
                                refs.path().string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    struct Tally {
        int files = 0, right = 0, unverified = 0, refused = 0, wrong = 0;
    };
    std::map<std::string, Tally> tally;
    std::string faults;
    for (const Reference& ref : ReadManifest(refs.path() / "manifest.tsv")) {
        const std::string format = ref.file.substr(0, ref.file.find('/'));
        Tally& t = tally[format];
        ++t.files;
        const fs::path file = corpus / ref.file;
        std::string fault;
        try {
            const AnyPicture ours = ReadAnyPicture(file);
            if (ref.known) {
                fault = Compare(ours, ref, ReadRaw(refs.path() / ref.rawOrReason));
                if (fault.empty()) ++t.right;
            } else if (AllBlack(ours.Image)) {
                fault = "black picture where no other decoder reads one (" + ref.rawOrReason + ")";
            } else {
                ++t.unverified;
            }
        } catch (const Error& e) {
            if (std::string(e.what()).find(file.filename().string()) == std::string::npos)
                fault = std::string("refused without naming the file: ") + e.what();
            else
                ++t.refused;
        }
        if (!fault.empty()) {
            ++t.wrong;
            faults += ref.file + ": " + fault + "\n";
        }
    }
    std::printf("%-6s %6s %8s %11s %8s %6s\n", "format", "files", "decoded", "unverified", "refused", "wrong");
    for (const auto& [format, t] : tally)
        std::printf("%-6s %6d %8d %11d %8d %6d\n", format.c_str(), t.files, t.right, t.unverified, t.refused, t.wrong);
    EXPECT_GE(tally.size(), 4u);
    EXPECT_TRUE(faults.empty()) << faults;
}

}  // namespace
}  // namespace talvenor
