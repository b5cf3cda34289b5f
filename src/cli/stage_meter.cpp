#include "cli/stage_meter.h"

#include <chrono>
#include <ctime>
#include <fstream>

#include "cli/json_text.h"

namespace talvenor {

namespace {

// "rchar" of /proc/self/io: every byte the process's read calls returned.
long long BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

double CpuSecondsSoFar() {
    timespec t{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0;
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

StageCost CostNow() {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return {wall, CpuSecondsSoFar(), BytesReadSoFar()};
}

std::string StageJson(std::initializer_list<NamedCost> stages, char measure) {
    std::string text = "{";
    for (const NamedCost& s : stages) {
        if (text.size() > 1) text += ", ";
        text += std::string("\"") + s.name + "\": ";
        if (measure == 'b') text += std::to_string(s.cost.bytesRead);
        else text += Fixed(measure == 'c' ? s.cost.cpu : s.cost.wall, 3);
    }
    return text + "}";
}

}  // namespace talvenor
