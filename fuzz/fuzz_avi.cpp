// AVI captures as the program opens them: the container, its indexes and format, what `info`
// reports, and a few frames through whichever decoder the codec gets (the first ones in order,
// then the last, as a jump of the preview slider asks for it).
#include <algorithm>

#include "harness.h"
#include "input/avi_file.h"

using namespace talvenor;

namespace {

constexpr int64_t kFramesInOrder = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("capture.avi");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        AviFile avi(path);
        avi.Probe();
        const int64_t start = avi.Start(), length = avi.Length();
        Bitmap24 picture;
        const auto decode = [&](int64_t position) {
            fuzz::Refusable(file.Name(), [&] { avi.DecodeFrame(position, picture); });
        };
        for (int64_t i = 0; i < std::min(length, kFramesInOrder); ++i) decode(start + i);
        if (length > kFramesInOrder) decode(start + length - 1);
    });
    return 0;
}
