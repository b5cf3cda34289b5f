// Wavelet filter files (.rsf) as "Load filter" reads them: all 25 weights or a refusal, and
// the weights set on the kernel spins.
#include "harness.h"
#include "project/filter_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("kernel.rsf");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        const FilterValues values = ReadFilterFile(path);
        Controls& form = fuzz::Form();
        ApplyFilterValues(form, values);
    });
    return 0;
}
