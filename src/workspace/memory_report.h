#pragma once
// The memory figures the program reports on the Error-reporting page, in the memory window
// and after every re-allocation of the stack buffers.
#include <cstdint>
#include <string>
#include <vector>

#include "workspace/controls.h"

namespace talvenor {

struct MemoryStatus {
    int LoadPercent = 0;
    uint64_t TotalPhysical = 0, FreePhysical = 0;
    uint64_t TotalPaging = 0, FreePaging = 0;   // physical memory plus swap: what can be committed
    uint64_t TotalVirtual = 0, FreeVirtual = 0; // the process's address space
};

// Reads the system's figures (/proc/meminfo and /proc/self/status on Linux).
MemoryStatus ReadMemoryStatus();

// Width 6, one decimal, thousands separated by commas: " 512.0", "12,345.6".
std::string FormatMegabytes(uint64_t bytes);

// The five report lines.
std::vector<std::string> MemoryReportLines(const MemoryStatus& status);

// Appends the five lines to Memo1.
void MemoryReport(Controls& form);

}  // namespace talvenor
