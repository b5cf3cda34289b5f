// The recipe a result image carries, read as opening a result as a project reads it: from a
// FITS file's commentary cards or a TIFF's ImageDescription, then its project text parsed.
#include "harness.h"
#include "imagefiles/recipe.h"
#include "project/project_file.h"
#include "workspace/big_ini_file.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // The extension only matters for files that are neither FITS nor TIFF: take both.
    static fuzz::InputFile fits("result.fit");
    static fuzz::InputFile tiff("result.tif");
    fuzz::InputFile& file = size % 2 == 0 ? fits : tiff;
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        const std::optional<std::string> recipe = ReadRecipe(path);
        if (!recipe) return;
        TIniReadOptions options;
        options.KeepLongLines = true;
        TBigIniFile ini("", options);
        ini.SetText(*recipe);
        ReadProjectInput(ini);
    });
    fuzz::Refusable("cards.fit", [&] { RecipeFromCards({data, size}, "cards.fit"); });
    return 0;
}
