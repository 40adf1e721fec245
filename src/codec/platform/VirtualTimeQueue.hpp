// VirtualTimeQueue: a MainQueue on a virtual clock. When no task is ready, the clock jumps to the next
// timer instead of waiting, so delayed work (a presenter's frame timer) runs as fast as it can while
// keeping its order and its recorded times. For writing animations to files and for tests.
//
// post()/postAfter() are thread-safe; one thread drives the queue at a time.
#pragma once

#include <vexaqr/platform/MainQueue.hpp>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace vexaqr {

class VirtualTimeQueue final : public MainQueue {
public:
    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    bool isCurrent() const override;

    /// Virtual time since the queue was made.
    std::chrono::milliseconds now() const;

    /// Runs tasks, advancing the clock to each timer when nothing is ready, until `done()` is true
    /// (checked before every task) or no task is left. Returns the last value of `done()`.
    bool runUntil(const std::function<bool()>& done);

    /// Runs the tasks ready at the current virtual time, including those they post; the clock stays.
    std::size_t runUntilIdle();

private:
    // Takes the next task; with `advance`, moves the clock to the earliest timer when nothing is ready.
    bool takeNext(Task& task, bool advance);
    void runTask(Task& task);

    mutable std::mutex _mutex;
    std::chrono::milliseconds _now{0};
    std::deque<Task> _ready;
    std::multimap<std::chrono::milliseconds, Task> _timers; // equal due times keep posting order
    std::atomic<std::thread::id> _driver{};
};

} // namespace vexaqr
