// The open capture's index is parsed once and kept in the workspace: later single-frame reads
// (preview moves, the stacker's frames) reuse it while the file stays the same, and parse
// again once it has changed on disk or another input is selected.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "input/avi_file.h"
#include "input/avi_frames.h"
#include "support/temp_dir.h"
#include "workspace/kept_index.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

const fs::path kAvi = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/avi";

struct KeptAviIndexTest : ::testing::Test {
    testing::TempDir dir;
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore settings;
    AppContext c{ws, form, host, settings};

    std::shared_ptr<const AviIndex> Kept(const fs::path& file) const {
        const auto id = IdentifyFile(file);
        return id ? ws.CaptureIndex.Find<AviIndex>(*id) : nullptr;
    }
};

TEST_F(KeptAviIndexTest, FrameReadsReuseTheIndexUntilTheFileChanges) {
    const fs::path capture = dir / "capture.avi";
    fs::copy_file(kAvi / "bgr24.avi", capture);
    ReadAviFrames(c, capture, 0);
    const std::shared_ptr<const AviIndex> first = Kept(capture);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->samples.size(), 5u);

    // Preview moves and a pass's single reads open the file with the same index.
    ReadAviFrames(c, capture, 3);
    {
        AviFrameSource source(c, capture);
        source.Read(4);
    }
    EXPECT_EQ(Kept(capture), first);
    EXPECT_EQ(OpenAviFile(ws, capture)->SharedIndex(), first);

    // Another capture written over it: parsed again, and its own frames are read.
    fs::copy_file(kAvi / "gray.avi", capture, fs::copy_options::overwrite_existing);
    ReadAviFrames(c, capture, 0);
    const std::shared_ptr<const AviIndex> second = Kept(capture);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(ws.CurrentFrameImage.Width(), 30);

    // A new input drops it.
    ws.ResetForNewSelection();
    EXPECT_TRUE(ws.CaptureIndex.Empty());
}

TEST_F(KeptAviIndexTest, AnIndexIsOnlyHandedBackForTheSameFileAndType) {
    const fs::path a = dir / "a.avi", b = dir / "b.avi";
    fs::copy_file(kAvi / "bgr24.avi", a);
    fs::copy_file(kAvi / "bgr24.avi", b);
    const auto idA = IdentifyFile(a), idB = IdentifyFile(b);
    ASSERT_TRUE(idA && idB);
    EXPECT_FALSE(IdentifyFile(dir / "missing.avi"));

    KeptIndex kept;
    kept.Keep(*idA, std::make_shared<const int>(7));
    ASSERT_NE(kept.Find<int>(*idA), nullptr);
    EXPECT_EQ(*kept.Find<int>(*idA), 7);
    EXPECT_EQ(kept.Find<long>(*idA), nullptr);  // asked as another type
    EXPECT_EQ(kept.Find<int>(*idB), nullptr);   // the same bytes under another name

    // Rewritten in place with the same size: the modification time tells.
    fs::last_write_time(a, fs::last_write_time(a) + std::chrono::seconds(5));
    EXPECT_EQ(kept.Find<int>(*IdentifyFile(a)), nullptr);
    // Grown: the size tells.
    kept.Keep(*IdentifyFile(a), std::make_shared<const int>(8));
    std::ofstream(a, std::ios::app | std::ios::binary) << "more";
    EXPECT_EQ(kept.Find<int>(*IdentifyFile(a)), nullptr);

    // An index made from a file of another size is not trusted by the reader either.
    const auto small = AviFile(kAvi / "gray.avi").SharedIndex();
    const AviFile reopened(b, small);
    EXPECT_NE(reopened.SharedIndex(), small);
    EXPECT_EQ(reopened.Width(), 32);
}

}  // namespace
}  // namespace talvenor
