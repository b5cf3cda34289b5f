// TIFF frames as a series pass loads them (into the display picture and the 16-bit image),
// then the directory as `info` describes it.
#include "harness.h"
#include "imagefiles/tiff_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("frame.tif");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        TTIFFBitMap bitmap;
        LoadFromFile(bitmap, path);
    });
    fuzz::Refusable(file.Name(), [&] { ProbeTiff(path); });
    return 0;
}
