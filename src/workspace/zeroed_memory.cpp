#include "workspace/zeroed_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace talvenor {

namespace {
// Below this, calloc's own heap is cheaper than a mapping of its own.
constexpr std::size_t kMappedFrom = std::size_t(1) << 20;
// From this size a mapping asks for the system's large pages: a plane or frame of megabytes is
// then faulted in a few times instead of once every 4 KB, which on a virtual machine cost more
// than writing the pixels.
constexpr std::size_t kLargePagesFrom = std::size_t(2) << 20;

constexpr std::size_t kSmallPage = 4096;

// The bytes mapped for a block. A mapping of whole large pages is placed by the system on a
// large-page boundary, so every page of it can be large: a block from kLargePagesFrom is rounded
// up to whole large pages where that adds at most half of it (a 1920 x 1080 frame: 6 to 8 MB).
std::size_t MappedBytes(std::size_t bytes) {
    const std::size_t small = (bytes + kSmallPage - 1) / kSmallPage * kSmallPage;
    if (bytes < kLargePagesFrom) return small;
    const std::size_t large = (bytes + kLargePagesFrom - 1) / kLargePagesFrom * kLargePagesFrom;
    return large - bytes <= bytes / 2 ? large : small;
}

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    if (bytes < kMappedFrom) {
        void* p = std::calloc(bytes, 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    const std::size_t mapped = MappedBytes(bytes);
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (bytes >= kLargePagesFrom) madvise(p, mapped, MADV_HUGEPAGE);  // a hint: refused, small pages serve
#endif
    return p;
}

void ReleaseZeroed(void* block, std::size_t bytes) {
    if (!block) return;
    if (bytes < kMappedFrom) std::free(block);
    else munmap(block, MappedBytes(bytes));
}

void* AllocateLarge(std::size_t bytes) {
    if (bytes < kLargePagesFrom) return ::operator new(bytes);
    return AllocateZeroed(bytes);
}

void ReleaseLarge(void* block, std::size_t bytes) {
    if (bytes < kLargePagesFrom) ::operator delete(block);
    else ReleaseZeroed(block, bytes);
}

}  // namespace talvenor
