#include "workspace/parallel_rows.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace talvenor {

namespace {
int Workers() {
    const unsigned n = std::thread::hardware_concurrency();
    return int(std::clamp(n, 1u, 8u));
}
}  // namespace

int RowBands(int rows, int minRows) {
    if (rows <= 0) return 0;
    return std::clamp(rows / std::max(1, minRows), 1, Workers());
}

void ParallelRows(int first, int last, const std::function<void(int, int)>& band, int minRows) {
    const int rows = last - first + 1;
    const int bands = RowBands(rows, minRows);
    if (bands <= 1) {
        if (rows > 0) band(first, last);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(bands - 1));
    int start = first;
    for (int b = 0; b < bands; ++b) {
        const int end = first + int((long long)rows * (b + 1) / bands) - 1;
        if (b + 1 < bands) threads.emplace_back(band, start, end);
        else band(start, end);
        start = end + 1;
    }
    for (std::thread& t : threads) t.join();
}

}  // namespace talvenor
