#include "workspace/zeroed_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace talvenor {

namespace {
// Below this, calloc's own heap is cheaper than a mapping of its own.
constexpr std::size_t kMappedFrom = std::size_t(1) << 20;
}  // namespace

void* AllocateZeroed(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    if (bytes < kMappedFrom) {
        void* p = std::calloc(bytes, 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

void ReleaseZeroed(void* block, std::size_t bytes) {
    if (!block) return;
    if (bytes < kMappedFrom) std::free(block);
    else munmap(block, bytes);
}

}  // namespace talvenor
