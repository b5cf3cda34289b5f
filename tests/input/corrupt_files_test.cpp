// Every malformed file we know of, one per case in tests/data/corrupt: each must give an
// error that names the file, never a crash, a hang or a frame that silently looks fine.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "input/avi_file.h"
#include "input/ser_file.h"
#include "support/sanitized.h"
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
    } else if (ext == ".png") {
        ReadPng(file);

    } else if (ext == ".avi") {
        AviFile avi(file);
        Bitmap24 frame;
        for (int64_t i = avi.Start(); i < avi.Start() + avi.Length(); ++i) avi.DecodeFrame(i, frame);
    } else if (ext == ".ser") {
        SerFile ser(file);
        Bitmap24 frame;
        for (int64_t i = 0; i < ser.FrameCount(); ++i) ser.ReadFrame(i, frame);
    } else {
        FAIL() << "no reader for " << file;
    }
}

// Damage the reader works around: a wrong index entry or a wrong frame size in the header
// (avi_file_test.cpp checks what they read as).
bool ReadableDespiteDamage(const std::string& name) {
    for (const char* readable : {"avi-index-past-end.avi", "avi-mjpeg-idx1-entry-past-end.avi",
                                 "avi-mjpeg-header-larger-than-frames.avi", "avi-mpeg4-header-larger-than-frames.avi",
                                 "avi-super-index-past-end.avi", "avi-index-count-overflow.avi"})
        if (name == readable) return true;
    return false;
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
        // Project files are read a layer above the input (tests/session/project_values_test.cpp).
        if (file.extension() == ".rsp") continue;
        if (ReadableDespiteDamage(file.filename().string())) {
            EXPECT_NO_THROW(ReadWholly(file));
            continue;
        }
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

// Headers that claim far more than their file holds (tests/data/fixtures/90-crafted.sh and
// 96-crafted-readers.sh): each is refused within a second of processor time and within 50 MB
// of memory. Every file is read in a child process of its own, whose peak resident size (VmHWM)
// starts from what it inherited. Time is the child's processor time as the kernel counted it,
// not the clock on the wall, so a machine busy with other work does not fail the check.

using testing::kSanitized;

struct CostOfReading {
    bool finished = false;
    bool failed = false;
    double seconds = 0;     // wall clock, shown only
    double cpuSeconds = 0;  // user + system time of the child process
    long peakGrowthKb = 0;
    char message[512] = {};
};

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::stol(line.substr(n));
    return -1;
}

CostOfReading ReadInChild(const fs::path& file) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        CostOfReading cost;
        // A reader that regresses into a loop is stopped after 20 s of processor time (SIGXCPU),
        // and one that waits on something after 60 s, instead of holding up the suite.
        const rlimit cpuCap{20, 20};
        setrlimit(RLIMIT_CPU, &cpuCap);
        alarm(60);
        const long before = StatusKb("VmHWM:");
        const auto start = std::chrono::steady_clock::now();
        try {
            ReadWholly(file);
        } catch (const std::exception& e) {
            cost.failed = true;
            std::snprintf(cost.message, sizeof cost.message, "%s", e.what());
        }
        cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cost.peakGrowthKb = StatusKb("VmHWM:") - before;
        cost.finished = true;
        [[maybe_unused]] const ssize_t written = write(fds[1], &cost, sizeof cost);
        _exit(0);
    }
    close(fds[1]);
    CostOfReading cost;
    if (read(fds[0], &cost, sizeof cost) != ssize_t(sizeof cost)) cost = {};
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto secondsOf = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    cost.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    return cost;
}

TEST(CorruptFiles, CraftedHeadersAreRefusedFastAndSmall) {
    const fs::path dir = fs::path(TALVENOR_SOURCE_DIR) / "tests/data/corrupt";
    const char* crafted[] = {
        "jpg-claims-20000-square.jpg",       "jpg-progressive-claims-20000-square.jpg",
        "bmp-rle8-claims-65535-square.bmp",  "tif-unknown-compression-claims-65535-square.tif",
        "fit-claims-100000-square.fit",      "ser-claims-huge-frames.ser",
        "avi-odml-index-repeated.avi",       "avi-mjpeg-claims-20000-square.avi",
        "avi-raw-claims-65535-square.avi",
        // Padding that passed for scan data made libjpeg allocate 1.2 GB (20000 x 20000) and 750 MB
        // (16000 x 16000); 65500 x 65500 asked for 12.9 GB.
        "jpg-padded-claims-20000-square.jpg", "jpg-padded-claims-16000-square.jpg",
        "jpg-claims-65500-square.jpg",
    };
    for (const char* name : crafted) {
        SCOPED_TRACE(name);
        const CostOfReading cost = ReadInChild(dir / name);
        std::printf("  %-48s %7.3f s (%.3f s CPU) %9ld kB peak growth  %s\n", name, cost.seconds, cost.cpuSeconds,
                    cost.peakGrowthKb, cost.message);
        ASSERT_TRUE(cost.finished) << "the reader crashed or hung";
        EXPECT_TRUE(cost.failed) << "read without an error";
        EXPECT_NE(std::string(cost.message).find(name), std::string::npos) << cost.message;
        EXPECT_LT(cost.cpuSeconds, 1.0);
        if (!kSanitized) {
            EXPECT_LT(cost.peakGrowthKb, 50 * 1024);
        }
    }
}

}  // namespace
}  // namespace talvenor
