#include "workspace/workspace.h"

namespace talvenor {

Workspace::Workspace() : Frames(kMaxFrames), FileNames(kMaxFrames + 1), Ranking(kMaxFrames) { ResetGammaCurve(); }

void Workspace::RecountSelected() {
    int count = 0;
    for (int i = 0; i <= LastFrame && i < kMaxFrames; ++i)
        if (Frames[std::size_t(i)].Excluded == 0) ++count;
    SelectedCount = count;
}

std::string Workspace::FrameLabel(int index) const {
    return "Frame : " + std::to_string(index + 1) + " of " + std::to_string(LastFrame + 1) +
           " ( selected = " + std::to_string(SelectedCount) + ") ";
}

void Workspace::ResetForNewSelection() {
    for (FrameRecord& f : Frames) {
        f.ShiftX = f.ShiftY = f.ShiftXa = f.ShiftYa = 0;
        f.Quality = f.Difference = f.QualityA = f.DifferenceA = 0;
        f.Dropped = 0;
    }
    for (RankEntry& r : Ranking) r = RankEntry{};
    UnreadableFrames.clear();
    CaptureIndex.Drop();
    ReadAheadPictures.clear();
    SeriesDemosaic = DebayerScratch();
}

void Workspace::ClearAll() {
    for (FrameRecord& f : Frames) f = FrameRecord{};
    for (RankEntry& r : Ranking) r = RankEntry{};
}

void Workspace::ResetGammaCurve() {
    for (int i = 0; i < kGammaEntries; ++i) GammaCurve[std::size_t(i)] = 0.001 * i + 0.000001;
}

void Workspace::FreeStackBuffers() {
    for (auto& p : StackSum) p.Destroy();
    for (auto& p : ResultPlanes) p.Destroy();
    ExtraPlane.Destroy();
    ScratchPlane.Destroy();
}

}  // namespace talvenor
