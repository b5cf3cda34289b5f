#pragma once
// Small timing helpers for the benchmarks: best-of-N wall time, and the time to merely
// read a file's bytes, which is the limit any decoder of that file is measured against.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace talvenor::bench {

// Median seconds per call over `runs` calls (after one warm-up call).
inline double SecondsPerCall(const std::function<void()>& fn, int runs) {
    fn();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + long(times.size() / 2), times.end());
    return times[times.size() / 2];
}

// Reads the whole file into memory once, as a decoder would.
inline std::size_t ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    static std::vector<char> buffer;
    buffer.resize(std::filesystem::file_size(file));
    in.read(buffer.data(), std::streamsize(buffer.size()));
    return std::size_t(in.gcount());
}

inline void PrintRow(const std::string& name, double seconds, double limitSeconds) {
    std::printf("  %-28s %9.3f ms/frame   read bytes %8.3f ms   ratio %5.2fx\n", name.c_str(), seconds * 1e3,
                limitSeconds * 1e3, seconds / limitSeconds);
}

}  // namespace talvenor::bench
