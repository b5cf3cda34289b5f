// Projects with numbers outside what the program can work with (tests/data/corrupt/project-*,
// written by tests/data/fixtures/96-projects.sh) are refused naming the key and the file,
// and the work in hand stays as it was. Each sits beside a capture of its name, so without the
// checks it would open and replay into the stack (under the sanitized suite: abort).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "session/generated_capture.h"
#include "session/project_files.h"
#include "session/worked_session.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::StartedSession;

TEST(ProjectValues, OutOfRangeNumbersAreRefusedBeforeTheWorkChanges) {
    struct Case {
        const char* file;
        const char* key;
    };
    const Case cases[] = {
        {"project-hoty-min-int.rsp", "hoty=-2147483648"},
        {"project-expand-x1-max-int.rsp", "X1=2147483647"},
        {"project-y1-min-int.rsp", "Y1=-2147483648"},
        {"project-subpixel-sx1-nan.rsp", "SX1=nan"},
        {"project-subpixel-sx1-3e9.rsp", "SX1=3e9"},
        {"project-sequence-length-huge.rsp", "sequencelength=99999999999"},
        {"project-rank-past-end.rsp", "Rank2=50"},
    };
    StartedSession t;
    Session& s = t.Start();
    capture::CaptureOptions o;
    o.frames = 12;
    o.width = 160;
    o.height = 120;
    o.format = capture::CaptureFormat::AviRgb;
    const std::string avi = testing::WriteAviCapture(t.appDir / "jupiter.avi", o).path;
    testing::OpenAvi(t, avi);
    testing::WorkUpTo(s, 2, 80, 60, 5);
    s.ws.Frames[4].ShiftX = 3;
    struct Snapshot {
        int status, last, alignY, shiftY1, rank2;
        float subX1;
        bool operator==(const Snapshot&) const = default;
    };
    const auto snapshot = [&] {
        return Snapshot{s.ws.ProgStatus, s.ws.LastFrame, s.ws.AlignY, s.ws.Frames[1].ShiftY,
                        s.ws.Ranking[2].FrameIndex, s.ws.Frames[1].SubShiftX};
    };
    const Snapshot before = snapshot();
    const std::string dir = s.form.DirectoryListBox1.Directory;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corrupt" / c.file);
        std::stringstream text;
        text << in.rdbuf();
        const fs::path project = t.appDir / c.file;
        std::ofstream(project) << text.str();
        try {
            LoadProjectFile(s, project);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind(project.string(), 0), 0u) << what;
            EXPECT_NE(what.find(c.key), std::string::npos) << what;
            EXPECT_NE(what.find("out of range"), std::string::npos) << what;
        }
        EXPECT_TRUE(snapshot() == before);
        EXPECT_EQ(s.ws.Frames[4].ShiftX, 3);
        EXPECT_EQ(s.form.DirectoryListBox1.Directory, dir);
        EXPECT_TRUE(t.host.Messages.empty() || t.host.Messages.back().Kind != MsgKind::Error);
    }
}

}  // namespace
}  // namespace talvenor
