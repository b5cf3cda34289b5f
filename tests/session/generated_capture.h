#pragma once
// A generated capture written as an AVI for a session test, with the truth of every frame, and
// opening it through the input dialog as a user would.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture.h"
#include "registration/feature_finder.h"
#include "session/session_fixture.h"

namespace talvenor::testing {

struct GeneratedCapture {
    std::string path;
    std::vector<capture::FrameTruth> truth;
};

inline GeneratedCapture WriteAviCapture(const std::filesystem::path& file, capture::CaptureOptions o) {
    o.writeTruth = false;
    capture::WriteCapture(file, o);
    return {file.string(), capture::CaptureGenerator(o).plan()};
}

inline void OpenAvi(StartedSession& t, const std::string& avi) {
    t.host.OpenChoices.push_back(FileChoice{{avi}, 1});
    t.session->Dispatch("SelectFileButton", Event::Click);
}

// A click on the preview where the program would put the feature by itself.
inline void PickFeature(Session& s) {
    const auto f = FindAlignmentFeature(s.ws.CurrentFrameImage, s.ws.ImageWidth, s.ws.ImageHeight, s.ws.AlignBoxSize,
                                        s.ws.LumaWeight);
    ASSERT_TRUE(f.has_value());
    EventArgs click;
    click.X = f->first;
    click.Y = f->second;
    click.Button = MouseButton::Left;
    s.Dispatch("PreviewImage", Event::MouseDown, click);
    ASSERT_EQ(s.ws.ProgStatus, 1);
}

}  // namespace talvenor::testing
