// Every malformed file we know of, one per case in tests/data/corrupt: each must give an
// error that names the file, never a crash, a hang or a frame that silently looks fine.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "input/avi_file.h"
#include "workspace/controls.h"
#include "workspace/error.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

void ReadWholly(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".bmp") {
        ReadBmp(file);
    } else if (ext == ".jpg") {
        ReadJpeg(file);
    } else if (ext == ".fit") {
        Workspace ws;
        Controls form;
        ScriptedHost host;
        ReadFitsFrame(ws, form, host, file);
    } else if (ext == ".tif") {
        TTIFFBitMap bitmap;
        LoadFromFile(bitmap, file);
    } else if (ext == ".avi") {
        AviFile avi(file);
        Bitmap24 frame;
        for (int64_t i = avi.Start(); i < avi.Start() + avi.Length(); ++i) avi.DecodeFrame(i, frame);
    } else {
        FAIL() << "no reader for " << file;
    }
}

TEST(CorruptFiles, EachGivesAnErrorNamingTheFile) {
    const fs::path dir = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corrupt";
    int seen = 0;
    std::map<std::string, int> perFormat;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const fs::path file = entry.path();
        SCOPED_TRACE(file.filename().string());
        ++seen;
        ++perFormat[file.extension().string()];
        try {
            ReadWholly(file);
            ADD_FAILURE() << "read without an error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(file.filename().string()), std::string::npos) << e.what();
        }
    }
    EXPECT_GT(seen, 80);
    for (const char* ext : {".bmp", ".jpg", ".fit", ".tif", ".avi"}) EXPECT_GE(perFormat[ext], 5) << ext;
}

}  // namespace
}  // namespace talvenor
