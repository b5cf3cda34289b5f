#include "workspace/memory_report.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace talvenor {

namespace {

// Value in kB of a "Key:   1234 kB" line, or 0.
uint64_t ProcKilobytes(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() && line[key.size()] == ':') {
            std::istringstream s(line.substr(key.size() + 1));
            uint64_t kb = 0;
            s >> kb;
            return kb;
        }
    }
    return 0;
}

}  // namespace

MemoryStatus ReadMemoryStatus() {
    MemoryStatus m;
    const uint64_t k = 1024;
    m.TotalPhysical = ProcKilobytes("/proc/meminfo", "MemTotal") * k;
    m.FreePhysical = ProcKilobytes("/proc/meminfo", "MemAvailable") * k;
    const uint64_t swapTotal = ProcKilobytes("/proc/meminfo", "SwapTotal") * k;
    const uint64_t swapFree = ProcKilobytes("/proc/meminfo", "SwapFree") * k;
    m.TotalPaging = m.TotalPhysical + swapTotal;
    m.FreePaging = m.FreePhysical + swapFree;
    // The user half of a 64-bit address space is 128 TiB on the platforms we run on.
    m.TotalVirtual = sizeof(void*) == 8 ? (uint64_t(1) << 47) : (uint64_t(1) << 31);
    const uint64_t used = ProcKilobytes("/proc/self/status", "VmSize") * k;
    m.FreeVirtual = used < m.TotalVirtual ? m.TotalVirtual - used : 0;
    if (m.TotalPhysical > 0)
        m.LoadPercent = int((m.TotalPhysical - std::min(m.FreePhysical, m.TotalPhysical)) * 100 / m.TotalPhysical);
    return m;
}

std::string FormatMegabytes(uint64_t bytes) {
    const double mb = double(bytes) / 1024.0 / 1024.0;
    // One decimal, rounded half to even like the rest of the program.
    const long long tenths = std::llrint(mb * 10.0);
    std::string whole = std::to_string(tenths / 10);
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    std::string text = grouped + "." + std::to_string(tenths % 10);
    if (text.size() < 6) text.insert(0, 6 - text.size(), ' ');
    return text;
}

std::vector<std::string> MemoryReportLines(const MemoryStatus& s) {
    auto used = [](uint64_t total, uint64_t free) { return total > free ? total - free : 0; };
    return {
        "Current memory load: " + std::to_string(s.LoadPercent) + "%",
        "Free physical memory: " + FormatMegabytes(s.FreePhysical) + " Mbytes",
        "Used physical memory: " + FormatMegabytes(used(s.TotalPhysical, s.FreePhysical)) + " Mbytes",
        "Used paging file memory: " + FormatMegabytes(used(s.TotalPaging, s.FreePaging)) + " Mbytes",
        "Used virtual memory: " + FormatMegabytes(used(s.TotalVirtual, s.FreeVirtual)) + " Mbytes",
    };
}

void MemoryReport(Controls& form) {
    // Reports pile up over a long session (one per re-allocation and page change); the last
    // few hundred lines are all anyone reads.
    constexpr std::size_t kKeep = 500;
    auto& lines = form.Memo1.Lines;
    for (auto& line : MemoryReportLines(ReadMemoryStatus())) lines.push_back(std::move(line));
    if (lines.size() > kKeep) lines.erase(lines.begin(), lines.end() - kKeep);
}

}  // namespace talvenor
