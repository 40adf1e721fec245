// RunLoop: the default MainQueue, a task queue with timers driven by whichever thread calls run*().
//
// post()/postAfter() are thread-safe. Only one thread may drive the loop at a time; tasks run on it. Timers are
// read against an injectable clock: a clock moved by hand makes timer order testable without waiting; such a loop
// is driven with runUntilIdle(), since waiting would not move it.
#pragma once

#include <vexaqr/platform/MainQueue.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace vexaqr {

class RunLoop final : public MainQueue {
public:
    using Clock = std::chrono::steady_clock;
    /// Where the loop reads the current time.
    using TimeSource = std::function<Clock::time_point()>;

    explicit RunLoop(TimeSource now = Clock::now);

    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    bool isCurrent() const override;

    /// Runs tasks until stop() is called.
    void run();

    /// Runs tasks (waiting for timers) for `duration`, then returns.
    void runFor(Clock::duration duration);

    /// Runs tasks until `done()` is true (checked after every task) or `timeout` passes.
    /// Returns the last value of `done()`.
    bool runUntil(const std::function<bool()>& done, Clock::duration timeout);

    /// Runs every task that is ready now, including those that they post, without waiting for timers.
    /// Returns the number of tasks run.
    std::size_t runUntilIdle();

    /// Makes run() return after the current task; thread-safe.
    void stop();

    /// Tasks ready now plus timers not yet due.
    std::size_t pendingCount() const;

private:
    struct Timer {
        Clock::time_point due;
        std::uint64_t order;
        Task task;
        bool operator>(const Timer& other) const { return due != other.due ? due > other.due : order > other.order; }
    };

    // Moves due timers to the ready queue and takes the next ready task, waiting until `deadline` at most.
    bool takeNext(Task& task, Clock::time_point deadline, bool wait);
    void runTask(Task& task);

    const TimeSource _now;
    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::deque<Task> _ready;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> _timers;
    std::uint64_t _timerOrder = 0;
    bool _stopRequested = false;
    std::atomic<std::thread::id> _driver{};
};

} // namespace vexaqr
