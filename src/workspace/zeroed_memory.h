#pragma once
// Arrays that read as zeros from the start without being written: large ones are mapped from
// the system, whose pages are zero and cost nothing until first touched, small ones come from
// calloc. Zeroing a plane sized for the largest picture (or a 4096-pixel processing area) on
// every run wrote and faulted in hundreds of megabytes a capture never used.
#include <algorithm>
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

// Whether a block of `bytes` from AllocateLarge comes zeroed (mapped from the system) rather
// than uninitialised from the heap.
bool AllocatedZeroed(std::size_t bytes);

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
// mapped as AllocateZeroed maps them, in large pages, smaller ones come from the heap. What
// `resize` adds is left uninitialised (every user writes it before reading it): zeroing a fresh
// frame's worth touched every page of it for nothing. `AssignZeros` gives zeros.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;
    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { ReleaseLarge(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept { return true; }
};

// Bytes that may run to megabytes: a frame's pixels, a 16-bit picture.
using LargeBytes = std::vector<uint8_t, LargeBlockAllocator<uint8_t>>;
// Floats that may run to megabytes: the boxes a frame adds at the alignment points.
using LargeFloats = std::vector<float, LargeBlockAllocator<float>>;

// `v` becomes `count` zeros (T a trivial type). A block of another size is given back and a new
// one taken, which comes zeroed from the system when it is large: nothing is written, so the
// pages of a picture or plane that is never drawn on are never touched.
template <class T>
void AssignZeros(std::vector<T, LargeBlockAllocator<T>>& v, std::size_t count) {
    if (v.size() != count) {
        std::vector<T, LargeBlockAllocator<T>>().swap(v);  // first, so the new block may take its pages
        v.resize(count);
        if (AllocatedZeroed(count * sizeof(T))) return;
    }
    std::fill(v.begin(), v.end(), T{});
}

}  // namespace talvenor
