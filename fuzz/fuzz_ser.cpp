// SER captures as the program opens them: the header, the frame count and timestamp trailer,
// what `info` reports, and a few frames as the frame loops get them (raw mosaics demosaiced by
// either method, wide samples kept beside the picture): the first ones in order, then the last.
#include <algorithm>

#include "harness.h"
#include "input/mosaic_choice.h"
#include "input/ser_file.h"
#include "input/ser_video.h"
#include "workspace/workspace.h"

using namespace talvenor;

namespace {

constexpr int64_t kFramesInOrder = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("capture.ser");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] { ProbeSer(path); });
    fuzz::Refusable(file.Name(), [&] {
        Workspace ws;
        MosaicChoice choice;
        choice.method = size % 2 == 0 ? DebayerMethod::Edge : DebayerMethod::Bilinear;
        SerVideo ser(ws, choice, path);
        const int64_t length = ser.Length();
        Bitmap24 picture;
        const auto decode = [&](int64_t position) {
            fuzz::Refusable(file.Name(), [&] { ser.DecodeFrame(position, picture); });
        };
        for (int64_t i = 0; i < std::min(length, kFramesInOrder); ++i) decode(i);
        if (length > kFramesInOrder) decode(length - 1);
    });
    return 0;
}
