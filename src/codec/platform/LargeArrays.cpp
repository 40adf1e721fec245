#include "codec/platform/LargeArrays.hpp"

#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vexaqr {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kCacheLine = 64;

std::size_t roundedUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

} // namespace

void* allocateLargeArray(std::size_t bytes) {
    const std::size_t alignment = bytes < kLargePage ? kCacheLine : kLargePage;
    const std::size_t rounded = roundedUp(bytes == 0 ? 1 : bytes, alignment);
    void* memory = std::aligned_alloc(alignment, rounded);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
#ifdef __linux__
    if (alignment == kLargePage) {
        madvise(memory, rounded, MADV_HUGEPAGE); // only a hint: refused, the pages are ordinary ones
    }
#endif
    return memory;
}

void freeLargeArray(void* memory) noexcept {
    std::free(memory);
}

} // namespace vexaqr
