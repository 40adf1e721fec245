#include "codec/platform/VirtualTimeQueue.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;

TEST(VirtualTimeQueueTest, TimersRunInDueOrderWithoutWaiting) {
    VirtualTimeQueue queue;
    std::vector<std::pair<int, std::chrono::milliseconds>> ran;
    queue.postAfter(200ms, [&] { ran.emplace_back(3, queue.now()); });
    queue.postAfter(50ms, [&] {
        ran.emplace_back(1, queue.now());
        queue.postAfter(100ms, [&] { ran.emplace_back(2, queue.now()); }); // due at 150 ms
    });
    queue.post([&] { ran.emplace_back(0, queue.now()); });
    EXPECT_FALSE(queue.runUntil([] { return false; }));
    const std::vector<std::pair<int, std::chrono::milliseconds>> expected = {
        {0, 0ms}, {1, 50ms}, {2, 150ms}, {3, 200ms}};
    EXPECT_EQ(ran, expected);
}

TEST(VirtualTimeQueueTest, RunUntilIdleLeavesTheClockAndStopsAtTheCondition) {
    VirtualTimeQueue queue;
    int count = 0;
    queue.post([&] { ++count; });
    queue.postAfter(10ms, [&] { ++count; });
    queue.postAfter(0ms, [&] {
        EXPECT_TRUE(queue.isCurrent());
        ++count;
    });
    EXPECT_EQ(queue.runUntilIdle(), 2u);
    EXPECT_EQ(queue.now(), 0ms);
    EXPECT_FALSE(queue.isCurrent());
    queue.postAfter(20ms, [&] { ++count; });
    EXPECT_TRUE(queue.runUntil([&] { return count == 3; }));
    EXPECT_EQ(queue.now(), 10ms);
}

} // namespace
} // namespace vexaqr
