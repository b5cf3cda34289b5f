#pragma once
// Where a command's time went: wall time, the CPU time of every thread of the process, and the
// bytes it read (from the kernel's count of the process's reads, page cache included), measured
// between two points, so a slower or busier stage shows in a benchmark's --json.
#include <string>

namespace talvenor {

struct StageCost {
    double wall = 0, cpu = 0;  // seconds
    long long bytesRead = 0;
    StageCost& operator+=(const StageCost& o) {
        wall += o.wall, cpu += o.cpu, bytesRead += o.bytesRead;
        return *this;
    }
    StageCost operator-(const StageCost& o) const { return {wall - o.wall, cpu - o.cpu, bytesRead - o.bytesRead}; }
};

// The process's totals now: the wall clock (from an arbitrary origin), its CPU time and the bytes
// read so far (0 where the system does not count them).
StageCost CostNow();

// The cost from `since` to now.
inline StageCost CostSince(const StageCost& since) { return CostNow() - since; }

// {"align": 0.123, ...} of one measure ("wall", "cpu" or "bytes") of the named stages.
struct NamedCost {
    const char* name;
    StageCost cost;
};
std::string StageJson(std::initializer_list<NamedCost> stages, char measure);

}  // namespace talvenor
