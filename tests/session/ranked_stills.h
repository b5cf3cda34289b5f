#pragma once
// A series of BMP stills opened as the input dialog opens them and ranked in frame order, as
// after an alignment pass (frame 0 best), with every rank up to the last one to be stacked.
#include <algorithm>
#include <string>
#include <vector>

#include "imagefiles/bmp_file.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"

namespace talvenor::testing {

struct RankedStills {
    StartedSession t;
    Session* s = nullptr;
    // Frame k shows paint(k, x, y), a Bgr.
    template <class Paint>
    RankedStills(int frames, int width, int height, Paint paint) {
        s = &t.Start();
        std::vector<std::string> files;
        for (int k = 0; k < frames; ++k) {
            Bitmap24 b(width, height);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) b.SetPixel(x, y, paint(k, x, y));
            const std::filesystem::path p = t.appDir / ("f" + std::to_string(k) + ".bmp");
            WriteBmp24(p, b);
            files.push_back(p.string());
        }
        std::swap(files.front(), files.back());  // as the input dialog hands them over
        OpenInput(*s, files, 2);
        for (int k = 0; k < frames; ++k) {
            s->ws.Ranking[std::size_t(k)] = {k, float(frames - k), 0};
            s->ws.Frames[std::size_t(k)].Quality = float(frames - k);
        }
        s->form.StackSlider.MaxValue = frames - 1;
        s->form.StackSlider.Value = frames - 1;
    }
};

}  // namespace talvenor::testing
