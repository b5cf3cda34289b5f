// BMP frames as the series passes read them (decoded from the file's bytes), then the headers
// as `info` describes them.
#include "harness.h"
#include "imagefiles/bmp_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    Bitmap24 picture;
    fuzz::Refusable("frame.bmp", [&] { DecodeBmp(bytes, "frame.bmp", picture); });
    static fuzz::InputFile file("probe.bmp");
    const std::filesystem::path& path = file.Write(bytes);
    fuzz::Refusable(file.Name(), [&] { ProbeBmp(path); });
    return 0;
}
