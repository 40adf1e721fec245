#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;
using vexaqr::RunLoop;

TEST(RunLoopTest, RunsPostedTasksInOrderAndNeverInline) {
    RunLoop loop;
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(loop.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// A clock that moves only when the test says so.
class ManualClock {
public:
    RunLoop::TimeSource source() {
        return [this] { return _now; };
    }
    void advance(RunLoop::Clock::duration step) { _now += step; }

private:
    RunLoop::Clock::time_point _now{};
};

TEST(RunLoopTest, DelayedTasksRunOnceTheirTimeHasComeInDueOrder) {
    ManualClock clock;
    RunLoop loop(clock.source());
    std::vector<int> order;
    loop.postAfter(300ms, [&] { order.push_back(2); });
    loop.postAfter(100ms, [&] { order.push_back(1); });
    loop.postAfter(300ms, [&] { order.push_back(3); });
    clock.advance(99ms);
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    clock.advance(1ms);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(order, (std::vector<int>{1}));
    clock.advance(199ms);
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    clock.advance(1ms);
    EXPECT_EQ(loop.runUntilIdle(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST(RunLoopTest, DelaysCountFromWhenTheyArePosted) {
    ManualClock clock;
    RunLoop loop(clock.source());
    bool ran = false;
    clock.advance(1h);
    loop.postAfter(10ms, [&] { ran = true; });
    clock.advance(9ms);
    loop.runUntilIdle();
    EXPECT_FALSE(ran);
    clock.advance(1ms);
    loop.runUntilIdle();
    EXPECT_TRUE(ran);
}

TEST(RunLoopTest, RunUntilSleepsUntilTheNextTimerIsDue) {
    RunLoop loop;
    bool ran = false;
    loop.postAfter(20ms, [&] { ran = true; });
    EXPECT_TRUE(loop.runUntil([&] { return ran; }, 10s));
}

// Without saturation the due time wraps around into the past and the task runs at once.
TEST(RunLoopTest, DelaysBeyondTheClocksRangeNeverComeDue) {
    RunLoop loop;
    bool ran = false;
    loop.postAfter(std::chrono::milliseconds::max(), [&] { ran = true; });
    loop.postAfter(std::chrono::milliseconds(std::chrono::hours(24 * 365 * 1000)), [&] { ran = true; });
    loop.runFor(20ms);
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.pendingCount(), 2u);
}

TEST(RunLoopTest, IsCurrentOnlyInsideTheDrivingThread) {
    RunLoop loop;
    bool insideTask = false;
    loop.post([&] { insideTask = loop.isCurrent(); });
    EXPECT_FALSE(loop.isCurrent());
    loop.runUntilIdle();
    EXPECT_TRUE(insideTask);
    EXPECT_FALSE(loop.isCurrent());
}

TEST(RunLoopTest, TasksPostedFromOtherThreadsWakeTheLoop) {
    RunLoop loop;
    int received = 0;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            loop.post([&] { ++received; });
        }
    });
    EXPECT_TRUE(loop.runUntil([&] { return received == 100; }, 5s));
    poster.join();
}

TEST(RunLoopTest, StopEndsRunAndRunUntilTimesOut) {
    RunLoop loop;
    loop.postAfter(5ms, [&] { loop.stop(); });
    loop.run();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 20ms));
    EXPECT_EQ(loop.pendingCount(), 0u);
}
