#pragma once
// A generated capture written as an AVI for a session test, with the truth of every frame, and
// opening it through the input dialog as a user would.
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture.h"
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

}  // namespace talvenor::testing
