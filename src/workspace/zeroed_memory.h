#pragma once
// Arrays that read as zeros from the start without being written: large ones are mapped from
// the system, whose pages are zero and cost nothing until first touched, small ones come from
// calloc. Zeroing a plane sized for the largest picture (or a 4096-pixel processing area) on
// every run wrote and faulted in hundreds of megabytes a capture never used.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace talvenor {

// `bytes` of zeros, aligned for any scalar type; throws std::bad_alloc when there is no memory.
void* AllocateZeroed(std::size_t bytes);
// Gives back what AllocateZeroed returned for the same `bytes` (null does nothing).
void ReleaseZeroed(void* block, std::size_t bytes);

// The memory a block of `bytes` from either of them may take: a large one is whole large pages.
std::size_t BlockFootprint(std::size_t bytes);

// Blocks for LargeBlockAllocator: uninitialised when they come from the heap.
void* AllocateLarge(std::size_t bytes);
void ReleaseLarge(void* block, std::size_t bytes);

// An owned array of `count` zero-initialised T (a trivial type), moved but never copied.
template <class T>
class ZeroedArray {
public:
    ZeroedArray() = default;
    explicit ZeroedArray(std::size_t count)
        : data_(static_cast<T*>(AllocateZeroed(count * sizeof(T)))), bytes_(count * sizeof(T)) {}
    ~ZeroedArray() { ReleaseZeroed(data_, bytes_); }
    ZeroedArray(ZeroedArray&& o) noexcept : data_(std::exchange(o.data_, nullptr)), bytes_(std::exchange(o.bytes_, 0)) {}
    ZeroedArray& operator=(ZeroedArray&& o) noexcept {
        if (this != &o) {
            ReleaseZeroed(data_, bytes_);
            data_ = std::exchange(o.data_, nullptr);
            bytes_ = std::exchange(o.bytes_, 0);
        }
        return *this;
    }
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;

    void reset() { *this = ZeroedArray(); }
    T* get() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }
    bool operator==(std::nullptr_t) const { return data_ == nullptr; }

private:
    T* data_ = nullptr;
    std::size_t bytes_ = 0;
};

// An allocator for containers that may hold megabytes (a frame's pixels): blocks that large are
// mapped as AllocateZeroed maps them, in large pages, smaller ones come from the heap.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;
    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { ReleaseLarge(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept { return true; }
};

// Bytes that may run to megabytes: a frame's pixels, a 16-bit picture.
using LargeBytes = std::vector<uint8_t, LargeBlockAllocator<uint8_t>>;
// Floats that may run to megabytes: the boxes a frame adds at the alignment points.
using LargeFloats = std::vector<float, LargeBlockAllocator<float>>;

}  // namespace talvenor
