#include "FreedMemoryWatch.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<const vexaqr::Bytes*> watchedSecret{nullptr};
std::atomic<int> sightingCount{0};

// Runs inside operator delete, so it must not allocate.
void inspectBeforeFree(void* block) {
    const vexaqr::Bytes* secret = watchedSecret.load();
    if (block == nullptr || secret == nullptr) {
        return;
    }
    const auto* first = static_cast<const std::uint8_t*>(block);
    const auto* last = first + malloc_usable_size(block);
    if (std::search(first, last, secret->begin(), secret->end()) != last) {
        ++sightingCount;
    }
}

void* allocate(std::size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void release(void* block) noexcept {
    inspectBeforeFree(block);
    std::free(block);
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}

namespace vexaqr::test {

FreedMemoryWatch::FreedMemoryWatch(Bytes secret) : _secret(std::move(secret)) {
    sightingCount = 0;
    watchedSecret = &_secret;
}

FreedMemoryWatch::~FreedMemoryWatch() {
    watchedSecret = nullptr;
}

int FreedMemoryWatch::sightings() const {
    return sightingCount.load();
}

} // namespace vexaqr::test
