#include "codec/platform/LargeArrays.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace vexaqr;

// Arrays of cache-line-aligned elements rely on the alignment; the large ones on 2 MB for their pages.
TEST(LargeArraysTest, MemoryIsAlignedAndUsableThroughout) {
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    struct Case {
        std::size_t bytes;
        std::size_t alignment;
    };
    for (const Case& test : {Case{0, 64}, Case{1, 64}, Case{100, 64}, Case{kLargePage - 1, 64},
                             Case{kLargePage, kLargePage}, Case{5 * kLargePage + 3, kLargePage}}) {
        void* memory = allocateLargeArray(test.bytes);
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % test.alignment, 0u) << test.bytes << " bytes";
        std::memset(memory, 0xa5, test.bytes); // a sanitizer build reports any byte short of the request
        freeLargeArray(memory);
    }
    LargeVector<std::uint32_t> grown;
    for (std::uint32_t value = 0; value < 1'000'000; ++value) {
        grown.push_back(value);
    }
    EXPECT_EQ(grown[999'999], 999'999u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(grown.data()) % kLargePage, 0u);
}
