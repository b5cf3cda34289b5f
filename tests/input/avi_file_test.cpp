// The AVI reader against files ffmpeg wrote and its own decodes of them, the container
// variants (no index, absolute idx1 offsets, 'rec ' lists, OpenDML with extension RIFFs),
// dropped frames, and malformed files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "input/avi_ffmpeg.h"
#include "input/avi_file.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

fs::path Data(const std::string& name) { return fs::path(TALVENOR_SOURCE_DIR) / "tests" / "data" / name; }

std::vector<uint8_t> Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Largest difference of any channel between the picture and frame k of a raw BGR24 file.
int MaxDifference(const Bitmap24& got, const std::vector<uint8_t>& ref, int64_t k) {
    const std::size_t n = got.Stride() * std::size_t(got.Height());
    if (ref.size() < (std::size_t(k) + 1) * n) return 256;
    int worst = 0;
    for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(got.Data()[i]) - int(ref[std::size_t(k) * n + i])));
    return worst;
}

std::string Detail(const FileInfo& info, const std::string& key) {
    for (const auto& [k, v] : info.Details)
        if (k == key) return v;
    return "(missing)";
}

int OpenFileDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

struct Fixture {
    const char* name;
    const char* codec;
    int width, height;
    int64_t start, length;
    int tolerance;  // largest channel difference allowed against ffmpeg's decode
    bool ffmpeg;    // needs libavcodec
    bool openDml;
    const char* dropped;
    AviFile::IndexKind index = AviFile::IndexKind::Idx1;
    bool djpeg = false;  // also compare exactly with libjpeg's own decode (x.djpeg.bgr)
};

// Raw layouts must match exactly. Pictures libavcodec decodes are converted by libswscale
// as ffmpeg converts them: within 1 (equal on the machine that made the references; other
// processors may take other rounding paths). Our own YUY2/UYVY conversion rounds BT.601 to
// nearest, while ffmpeg's converter lands up to 2 levels low (it turns nominal white,
// Y = 235, into 253): within 3. Motion-JPEG goes through libjpeg, so it must equal djpeg's
// decode with chroma repeated (-nosmooth), as ffmpeg repeats it: then within 3 of ffmpeg's
// (their inverse DCTs and colour tables round differently), where libjpeg's smoothing was a
// hundred levels off at the test pattern's hard colour edges. A wrong matrix or range, or a
// swapped chroma pair, would be off by tens.
const Fixture kFixtures[] = {
    {"bgr24", "BI_RGB", 32, 24, 0, 5, 0, false, false, "none"},
    {"bgr24-bottomup", "BI_RGB", 30, 22, 0, 5, 0, false, false, "none"},
    {"pal8", "BI_RGB", 32, 24, 0, 5, 0, false, false, "none"},
    {"pal8-bottomup", "BI_RGB", 30, 22, 0, 5, 0, false, false, "none"},
    {"gray", "Y800", 30, 22, 0, 5, 0, false, false, "none"},
    {"grey-palette", "BI_RGB", 30, 22, 0, 5, 0, false, false, "none"},
    {"grey-nopalette", "BI_RGB", 30, 22, 0, 5, 0, false, false, "none"},
    {"rgb555", "BI_RGB", 30, 22, 0, 5, 0, false, false, "none"},
    {"bitfields565", "BI_BITFIELDS", 32, 24, 0, 5, 0, false, false, "none"},
    {"bgra", "BI_RGB", 24, 18, 0, 5, 0, false, false, "none"},
    {"bitfields-rgbx", "BI_BITFIELDS", 20, 14, 0, 5, 0, false, false, "none"},
    {"yuy2", "YUY2", 32, 24, 0, 5, 3, false, false, "none"},
    {"uyvy", "UYVY", 32, 24, 0, 5, 3, false, false, "none"},
    {"mjpeg", "MJPG", 32, 24, 0, 5, 3, false, false, "none", AviFile::IndexKind::Idx1, true},
    {"mjpeg-nodht", "MJPG", 32, 24, 0, 5, 3, false, false, "none", AviFile::IndexKind::Idx1, true},
    {"ffv1", "FFV1", 32, 24, 0, 5, 0, true, false, "none"},
    {"ffv1-yuv420", "FFV1", 32, 24, 0, 5, 1, true, false, "none"},
    {"h264-bframes", "H264", 32, 24, 0, 12, 1, true, false, "none"},
    {"mpeg4-bframes", "FMP4", 32, 24, 0, 12, 1, true, false, "none"},
    {"mpeg4-divx", "DIVX", 48, 32, 0, 4, 1, true, false, "none"},
    {"mpeg4-xvid", "XVID", 44, 30, 0, 4, 1, true, false, "none"},
    {"h264-full709", "H264", 48, 32, 0, 4, 1, true, false, "none"},
    {"vp9-full709", "VP90", 48, 32, 0, 4, 1, true, false, "none"},
    {"mjpeg-422", "MJPG", 48, 32, 0, 4, 3, false, false, "none", AviFile::IndexKind::Idx1, true},
    {"mjpeg-grey", "MJPG", 32, 24, 0, 3, 3, false, false, "none"},
    {"dropped", "BI_RGB", 16, 12, 0, 12, 0, false, false, "3,7"},
    {"noindex", "BI_RGB", 32, 24, 0, 5, 0, false, false, "none", AviFile::IndexKind::Scanned},
    {"absolute-rec", "BI_RGB", 32, 24, 0, 5, 0, false, false, "none"},
    {"start2", "BI_RGB", 32, 24, 2, 5, 0, false, false, "none"},
    {"short-index", "BI_RGB", 32, 24, 0, 7, 0, false, false, "5,6"},
    {"opendml-fields", "BI_RGB", 16, 12, 0, 6, 0, false, true, "4", AviFile::IndexKind::OpenDml},
};

TEST(AviFile, DecodesEveryFixtureLikeFfmpeg) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const fs::path file = Data(std::string("avi/") + f.name + ".avi");
        if (f.ffmpeg && !HaveFfmpegDecoders()) {
            EXPECT_THROW(AviFile{file}, Error);
            continue;
        }
        AviFile avi(file);
        EXPECT_EQ(avi.Compression(), f.codec);
        EXPECT_EQ(avi.Width(), f.width);
        EXPECT_EQ(avi.Height(), f.height);
        EXPECT_EQ(avi.Start(), f.start);
        EXPECT_EQ(avi.Length(), f.length);
        EXPECT_EQ(avi.IsOpenDml(), f.openDml);
        EXPECT_EQ(avi.Index(), f.index);
        const FileInfo info = avi.Probe();
        EXPECT_EQ(info.Format, "AVI");
        EXPECT_EQ(Detail(info, "dropped"), f.dropped);
        EXPECT_EQ(Detail(info, "dwStart"), std::to_string(f.start));
        EXPECT_EQ(Detail(info, "dwLength"), std::to_string(f.length));

        const std::vector<uint8_t> ref = Bytes(Data(std::string("avi/") + f.name + ".bgr"));
        const std::vector<uint8_t> libjpeg = f.djpeg ? Bytes(Data(std::string("avi/") + f.name + ".djpeg.bgr")) : std::vector<uint8_t>{};
        Bitmap24 picture, previous;
        for (int64_t p = avi.Start(); p < avi.Start() + avi.Length(); ++p) {
            SCOPED_TRACE("position " + std::to_string(p));
            avi.DecodeFrame(p, picture);
            ASSERT_EQ(picture.Width(), f.width);
            ASSERT_EQ(picture.Height(), f.height);
            if (avi.IsEmptySample(p)) {
                // A dropped frame shows the one before it.
                EXPECT_TRUE(picture == previous);
            } else {
                EXPECT_LE(MaxDifference(picture, ref, p - avi.Start()), f.tolerance);
                if (f.djpeg) {
                    EXPECT_EQ(MaxDifference(picture, libjpeg, p - avi.Start()), 0);
                }
            }
            // Rows 3 .. 10 alone, over the frame before: those rows as the whole frame has them
            // and the others as they were, top-down and bottom-up; or the whole frame, from
            // the decoders that read whole frames only.
            Bitmap24 band = previous.Empty() ? picture : previous;
            const Bitmap24& before = previous.Empty() ? picture : previous;
            const FrameRows held = avi.DecodeFrameRows(p, {3, 10}, band);
            EXPECT_TRUE(held.IsWhole() || (held.First == 3 && held.Last == 10));
            const Bitmap24& read = band;
            for (int y = 0; y < f.height; ++y) {
                const Bitmap24& expected = held.Holds(y, y) ? picture : before;
                EXPECT_TRUE(std::equal(read.Row(y), read.Row(y) + read.Stride(), expected.Row(y))) << "row " << y;
            }
            previous = picture;
        }
    }
}

// The tables we put into Motion-JPEG frames that lack them must be the standard ones,
// which cjpeg writes when it does not optimise its tables.
TEST(AviFile, InsertedHuffmanTablesAreTheStandardOnes) {
    // Every table of the DHT segments of a JPEG: class and id, then its counts and values.
    auto tables = [](std::span<const uint8_t> d) {
        std::map<int, std::vector<uint8_t>> found;
        for (std::size_t p = 2; p + 4 <= d.size() && d[p] == 0xFF && d[p + 1] != 0xDA;) {
            const std::size_t len = std::size_t(d[p + 2]) << 8 | d[p + 3];
            if (d[p + 1] == 0xC4) {
                for (std::size_t q = p + 4; q < p + 2 + len;) {
                    std::size_t n = 0;
                    for (int i = 1; i <= 16; ++i) n += d[q + i];
                    found[d[q]] = std::vector<uint8_t>(d.begin() + std::ptrdiff_t(q + 1), d.begin() + std::ptrdiff_t(q + 17 + n));
                    q += 17 + n;
                }
            }
            p += 2 + len;
        }
        return found;
    };
    const std::vector<uint8_t> jpeg = Bytes(Data("avi/cjpeg-standard-tables.jpg"));
    std::vector<uint8_t> ours = {0xFF, 0xD8};
    ours.insert(ours.end(), StandardJpegHuffmanTables().begin(), StandardJpegHuffmanTables().end());
    ours.insert(ours.end(), {0xFF, 0xDA, 0, 2});
    const auto expected = tables(jpeg);
    ASSERT_EQ(expected.size(), 4u);
    EXPECT_EQ(tables(ours), expected);
}

TEST(AviFile, DroppedFramesAreEmptySamples) {
    AviFile avi(Data("avi/dropped.avi"));
    EXPECT_EQ(avi.DroppedFrames(), (std::vector<int64_t>{3, 7}));
    EXPECT_EQ(avi.DroppedCount(), 2);
    EXPECT_EQ(avi.SampleSize(2), 16u * 12 * 3);
    EXPECT_TRUE(avi.IsEmptySample(3));
    EXPECT_EQ(avi.FindSample(3), 4);
    EXPECT_EQ(avi.FindSample(4), 4);
    EXPECT_EQ(avi.FindSample(11), 11);
    EXPECT_EQ(avi.FindSample(12), -1);

    // Positions the stream header promises but the index lacks are dropped too, and a
    // stream that starts late has nothing before its start.
    AviFile shortIndex(Data("avi/short-index.avi"));
    EXPECT_EQ(shortIndex.DroppedFrames(), (std::vector<int64_t>{5, 6}));
    EXPECT_EQ(shortIndex.FindSample(5), -1);
    AviFile late(Data("avi/start2.avi"));
    EXPECT_TRUE(late.IsEmptySample(1));
    EXPECT_EQ(late.FindSample(0), 2);
    EXPECT_TRUE(late.DroppedFrames().empty());
}

TEST(AviFile, ReusesThePictureAndRefusesPositionsOutsideTheStream) {
    AviFile avi(Data("avi/start2.avi"));
    Bitmap24 picture;
    avi.DecodeFrame(2, picture);
    const uint8_t* storage = picture.Data();
    avi.DecodeFrame(6, picture);
    EXPECT_EQ(picture.Data(), storage) << "a frame of the same size must not reallocate the picture";
    for (int64_t p : {int64_t(1), int64_t(7), int64_t(-1)}) {
        try {
            avi.DecodeFrame(p, picture);
            ADD_FAILURE() << "position " << p << " decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Failed to decompress AVI frame: start2.avi: frame " + std::to_string(p), 0), 0u)
                << e.what();
        }
    }
}

TEST(AviFile, MalformedFilesGiveTheRightMessageAndCloseTheFile) {
    struct Case {
        const char* file;
        const char* message;  // the text starts with this
        bool atOpen;          // else when the frames are decoded
    };
    const Case cases[] = {
        {"avi-truncated-movi.avi", "Failed to open AVI file: avi-truncated-movi.avi: the file ends inside the frame data", true},
        {"avi-absurd-size.avi", "Failed to get AVI stream format: avi-absurd-size.avi: frame size 100000 x 2", true},
        {"avi-absurd-length.avi", "Failed to get AVI stream info: avi-absurd-length.avi: the stream header claims 3000000000", true},
        {"avi-no-video-stream.avi", "Failed to open AVI stream: avi-no-video-stream.avi", true},
        {"avi-short-stream-header.avi", "Failed to get AVI stream info: avi-short-stream-header.avi", true},
        {"avi-no-format.avi", "Failed to get AVI stream format size: avi-no-format.avi", true},
        {"avi-short-format.avi", "Failed to get AVI stream format: avi-short-format.avi", true},
        {"avi-unknown-codec.avi", "Failed to start AVI decompression: codec 'QQQQ' is not supported (avi-unknown-codec.avi)", true},
        {"avi-4bit-dib.avi", "Failed to start AVI decompression: codec 'BI_RGB' with 4 bits per pixel is not supported", true},
        {"avi-not-riff.avi", "Failed to open AVI file: avi-not-riff.avi: not an AVI file", true},
        {"avi-damaged-header-list.avi", "Failed to open AVI file: avi-damaged-header-list.avi: the header list is damaged", true},
        {"avi-short-frame.avi", "Failed to decompress AVI frame: avi-short-frame.avi: frame 1: pixel data ends early (needs 24 bytes, has 10)", false},
        {"avi-mjpeg-garbage.avi", "Failed to decompress AVI frame: avi-mjpeg-garbage.avi: frame 0: not a JPEG frame", false},
        {"avi-mjpeg-huge-frame.avi", "Failed to decompress AVI frame: avi-mjpeg-huge-frame.avi: frame 0: the JPEG frame claims 60000 x 60000", false},
        {"avi-mjpeg-claims-20000-square.avi",
         "Failed to decompress AVI frame: avi-mjpeg-claims-20000-square.avi: frame 0: JPEG frame: a 20000 x 20000 picture is too "
         "large to read (at most 268 million pixels)", false},
        // Frames are stacked at one size: one of another size is left out, both sizes named.
        {"avi-mjpeg-frame-changes-size.avi",
         "Failed to decompress AVI frame: avi-mjpeg-frame-changes-size.avi: frame 1: the frame is 16 x 12, the stream's frames "
         "are 32 x 24", false},
        {"avi-raw-claims-65535-square.avi",
         "Failed to get AVI stream format: avi-raw-claims-65535-square.avi: a 65535 x 65535 frame of 24 bits takes at least "
         "12884508675 bytes, more than the whole file (376)", true},
        // The standard index is read once however often the super index lists it.
        {"avi-odml-index-repeated.avi", "Failed to decompress AVI frame: avi-odml-index-repeated.avi: frame 0: pixel data ends early", false},
    };
    const int before = OpenFileDescriptors();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string message;
        bool opened = false;
        try {
            AviFile avi(Data(std::string("corrupt/") + c.file));
            opened = true;
            Bitmap24 picture;
            for (int64_t p = avi.Start(); p < avi.Start() + avi.Length(); ++p) avi.DecodeFrame(p, picture);
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
        EXPECT_EQ(opened, !c.atOpen) << message;
    }
    // Listed 150 times over by the super index, the standard index still gives each frame once.
    EXPECT_EQ(AviFile(Data("corrupt/avi-odml-index-repeated.avi")).SampleCount(), 100000);
    try {
        AviFile missing(Data("avi/no-such-file.avi"));
        ADD_FAILURE() << "a missing file opened";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to open AVI file: no-such-file.avi: No such file or directory");
    }
    EXPECT_EQ(OpenFileDescriptors(), before);
}

// An index entry outside the file, or a format block whose size the coded frames do not have,
// costs nothing but the index or the header: the frame table is rebuilt from the 'movi' list,
// and the frames are read at their own size, which is the size reported.
TEST(AviFile, DamagedIndexOrHeaderSizeStillReadsEveryFrame) {
    using Kind = AviFile::IndexKind;
    const struct {
        const char* file;
        int width, height;
        int64_t frames;
        Kind index;
        const char* indexDetail;  // starts with this
        const char* headerSize;
        bool ffmpeg;
    } cases[] = {
        {"avi-index-past-end.avi", 4, 2, 2, Kind::Scanned, "rebuilt from the movi list (idx1 damaged: entry 1 points past the end",
         "(missing)", false},
        {"avi-mjpeg-idx1-entry-past-end.avi", 32, 24, 4, Kind::Scanned,
         "rebuilt from the movi list (idx1 damaged: entry 2 points past the end", "(missing)", false},
        {"avi-mjpeg-header-larger-than-frames.avi", 32, 24, 4, Kind::Idx1, "idx1", "64 x 48", false},
        // OpenDML: the frames of the AVIX extension are found by the scan too.
        {"avi-super-index-past-end.avi", 4, 4, 6, Kind::Scanned,
         "rebuilt from the movi list (OpenDML index damaged: super index entry 1 points past the end", "(missing)", false},
        {"avi-index-count-overflow.avi", 4, 4, 6, Kind::Scanned,
         "rebuilt from the movi list (OpenDML index damaged: the standard index at offset", "(missing)", false},
        {"avi-mpeg4-header-larger-than-frames.avi", 32, 24, 4, Kind::Idx1, "idx1", "64 x 48", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.ffmpeg && !HaveFfmpegDecoders()) continue;
        AviFile avi(Data(std::string("corrupt/") + c.file));
        EXPECT_EQ(avi.Width(), c.width);
        EXPECT_EQ(avi.Height(), c.height);
        EXPECT_EQ(avi.SampleCount(), c.frames);
        EXPECT_EQ(avi.Index(), c.index);
        const FileInfo info = avi.Probe();
        EXPECT_EQ(info.Width, c.width);
        EXPECT_EQ(Detail(info, "index").rfind(c.indexDetail, 0), 0u) << Detail(info, "index");
        EXPECT_EQ(Detail(info, "frame size in header"), c.headerSize);
        EXPECT_EQ(Detail(info, "dropped"), "none");
        Bitmap24 picture;
        for (int64_t p = 0; p < avi.Length(); ++p) {
            avi.DecodeFrame(p, picture);
            EXPECT_EQ(picture.Width(), c.width);
            EXPECT_EQ(picture.Height(), c.height);
        }
        // A second opening with the kept index knows the frames' size without decoding one.
        AviFile again(Data(std::string("corrupt/") + c.file), avi.SharedIndex());
        EXPECT_EQ(again.Width(), c.width);
    }
    // The rebuilt table puts every frame in its place: the same JPEGs as the sound index gives.
    AviFile rebuilt(Data("corrupt/avi-mjpeg-idx1-entry-past-end.avi"));
    AviFile indexed(Data("corrupt/avi-mjpeg-header-larger-than-frames.avi"));
    for (int64_t p = 0; p < 4; ++p) {
        Bitmap24 a, b;
        rebuilt.DecodeFrame(p, a);
        indexed.DecodeFrame(p, b);
        EXPECT_EQ(MaxDifference(a, std::vector<uint8_t>(b.Data(), b.Data() + b.Stride() * std::size_t(b.Height())), 0), 0)
            << "frame " << p;
    }
}

// Codecs that predict from earlier frames must give the same picture whichever order the
// frames are asked for in: the stacker asks for them by quality, not by position.
TEST(AviFile, InterFrameCodecsDecodeInAnyOrder) {
    TALVENOR_REQUIRE_TOOL(HaveFfmpegDecoders(), "libavcodec");
    const std::string ffmpeg = testing::FindTool("ffmpeg");
    TALVENOR_REQUIRE_TOOL(!ffmpeg.empty(), "ffmpeg");
    testing::TempDir dir;
    const fs::path avi = dir / "mpeg4.avi", ref = dir / "mpeg4.bgr";
    const std::string make = ffmpeg + " -nostdin -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=10 -frames:v 20 "
                             "-c:v mpeg4 -g 6 -bf 0 -q:v 4 '" + avi.string() + "' && " + ffmpeg + " -nostdin -loglevel error -y -i '" +
                             avi.string() + "' -f rawvideo -pix_fmt bgr24 '" + ref.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::vector<uint8_t> frames = Bytes(ref);
    AviFile file(avi);
    ASSERT_EQ(file.Length(), 20);
    Bitmap24 picture;
    for (int64_t p : {19, 3, 4, 5, 12, 0, 7, 6, 18, 11}) {
        SCOPED_TRACE("position " + std::to_string(p));
        file.DecodeFrame(p, picture);
        EXPECT_LE(MaxDifference(picture, frames, p), 1);
    }
}

// A capture over 1 GB: ffmpeg closes the first RIFF near 1 GB and goes on in 'AVIX'
// extensions, indexed by an 'indx' super index. Every frame must be reachable, including
// those past the first RIFF.
TEST(AviFile, OpenDmlCaptureOverOneGigabyte) {
    const std::string ffmpeg = testing::FindTool("ffmpeg");
    TALVENOR_REQUIRE_TOOL(!ffmpeg.empty(), "ffmpeg");
    testing::TempDir dir;
    const fs::path avi = dir / "big.avi", ref = dir / "big.bgr";
    const std::string make = ffmpeg + " -nostdin -loglevel error -y -f lavfi -i testsrc=size=1280x720:rate=25 -frames:v 450 "
                             "-c:v rawvideo -pix_fmt bgr24 '" + avi.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_GT(fs::file_size(avi), uint64_t(1) << 30);
    const int picks[] = {0, 200, 388, 389, 390, 420, 449};
    const std::string select = ffmpeg + " -nostdin -loglevel error -y -i '" + avi.string() +
                               "' -vf \"select='eq(n\\,0)+eq(n\\,200)+eq(n\\,388)+eq(n\\,389)+eq(n\\,390)+eq(n\\,420)+eq(n\\,449)'\" "
                               "-fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" + ref.string() + "'";
    ASSERT_EQ(std::system(select.c_str()), 0);
    const std::vector<uint8_t> frames = Bytes(ref);
    {
        AviFile file(avi);
        EXPECT_TRUE(file.IsOpenDml());
        EXPECT_EQ(file.Index(), AviFile::IndexKind::OpenDml);
        EXPECT_EQ(file.Length(), 450);
        EXPECT_EQ(file.SampleCount(), 450);
        EXPECT_EQ(file.OpenDmlFrames(), 450);
        EXPECT_EQ(file.DroppedCount(), 0);
        Bitmap24 picture;
        for (int64_t p = 0; p < file.Length(); ++p) file.DecodeFrame(p, picture);
        for (std::size_t i = 0; i < std::size(picks); ++i) {
            SCOPED_TRACE("frame " + std::to_string(picks[i]));
            file.DecodeFrame(picks[i], picture);
            EXPECT_EQ(MaxDifference(picture, frames, int64_t(i)), 0);
        }
    }
    fs::remove(avi);
}

}  // namespace
}  // namespace talvenor
