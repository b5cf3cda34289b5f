// JPEG frames as the series passes read them (decoded from the file's bytes, as Motion-JPEG
// frames are too), then the headers as `info` describes them.
#include "harness.h"
#include "imagefiles/jpeg_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    Bitmap24 picture;
    fuzz::Refusable("frame.jpg", [&] { DecodeJpeg(bytes, "frame.jpg", picture); });
    static fuzz::InputFile file("probe.jpg");
    const std::filesystem::path& path = file.Write(bytes);
    fuzz::Refusable(file.Name(), [&] { ProbeJpeg(path); });
    return 0;
}
