// PNG pictures as `convert` and the series readers take them (decoded from the file's bytes),
// then the chunks as `info` and a result's recipe describe them.
#include "harness.h"
#include "imagefiles/png_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    fuzz::Refusable("frame.png", [&] { DecodePng(bytes, "frame.png"); });
    fuzz::Refusable("frame.png", [&] { PngDescription(bytes, "frame.png"); });
    static fuzz::InputFile file("probe.png");
    const std::filesystem::path& path = file.Write(bytes);
    fuzz::Refusable(file.Name(), [&] { ProbePng(path); });
    return 0;
}
