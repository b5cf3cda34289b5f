#include "input/unreadable_frames.h"

#include <filesystem>

#include "input/frame_loader.h"
#include "workspace/error.h"

namespace talvenor {

void SkipUnreadableFrame(AppContext& c, int index, std::string_view reason) {
    Workspace& ws = c.ws;
    if (index < 0 || index >= kMaxFrames) return;
    FrameRecord& f = ws.Frames[std::size_t(index)];
    const bool first = !f.Dropped;
    f.Dropped = 1;
    f.Excluded = 1;
    ws.DroppedFramesSeen = true;
    ws.RecountSelected();
    // Series name their files; a video frame is named by its number.
    const std::string name = ws.IsImageSeries ? std::filesystem::path(ws.FileNames[std::size_t(index)]).filename().string()
                                              : "frame " + std::to_string(index + 1);
    ItemList& list = c.form.SelectFramesChecklist;
    if (index < list.Count()) {
        list.Items[std::size_t(index)] = ws.IsImageSeries ? name + " (unreadable)" : "dropped frame";
        list.Checked[std::size_t(index)] = true;
        list.Grayed[std::size_t(index)] = true;
    }
    if (!first) return;
    ws.UnreadableFrames.push_back(name);
    c.host.Log(MsgKind::Warning, "frame " + std::to_string(index + 1) + " skipped: " + std::string(reason));
}

bool LoadFrameOrSkip(AppContext& c, int index) {
    try {
        LoadFrame(c, c.ws.FileNames[std::size_t(index)]);
        return true;
    } catch (const Error& e) {
        SkipUnreadableFrame(c, index, e.what());
        return false;
    }
}

void MarkMissingFrames(AppContext& c, int count) {
    for (int i = 0; i < count && i < kMaxFrames; ++i) {
        const std::string& name = c.ws.FileNames[std::size_t(i)];
        std::error_code ec;
        if (!std::filesystem::exists(name, ec)) SkipUnreadableFrame(c, i, name + ": no such file");
    }
}

int LoadFirstReadableFrame(AppContext& c, const std::vector<int>& order) {
    if (order.empty()) throw Error("the series has no frames");
    if (order.size() == 1) {
        LoadFrame(c, c.ws.FileNames[std::size_t(order[0])]);
        return order[0];
    }
    std::string firstReason;
    for (int i : order) {
        try {
            LoadFrame(c, c.ws.FileNames[std::size_t(i)]);
            return i;
        } catch (const Error& e) {
            if (firstReason.empty()) firstReason = e.what();
            SkipUnreadableFrame(c, i, e.what());
        }
    }
    throw Error("none of the " + std::to_string(order.size()) + " frames of the series can be read (" + firstReason + ")");
}

std::string UnreadableSummary(const Workspace& ws, std::size_t names) {
    const std::size_t n = ws.UnreadableFrames.size();
    if (n == 0) return {};
    std::string text = "skipped " + std::to_string(n) + (n == 1 ? " unreadable frame: " : " unreadable frames: ");
    for (std::size_t i = 0; i < n && i < names; ++i) text += (i ? ", " : "") + ws.UnreadableFrames[i];
    if (n > names) text += ", ...";
    return text;
}

}  // namespace talvenor
