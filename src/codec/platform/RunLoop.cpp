#include <vexaqr/platform/RunLoop.hpp>

namespace vexaqr {

namespace {

// Marks the calling thread as the loop's driver for the lifetime of one run*() call.
class DriverScope {
public:
    explicit DriverScope(std::atomic<std::thread::id>& driver) : _driver(driver), _previous(driver.load()) {
        _driver.store(std::this_thread::get_id());
    }
    ~DriverScope() { _driver.store(_previous); }
    DriverScope(const DriverScope&) = delete;
    DriverScope& operator=(const DriverScope&) = delete;

private:
    std::atomic<std::thread::id>& _driver;
    std::thread::id _previous;
};

// When a task posted now with `delay` is due; a delay beyond the clock's range is due at its end rather
// than at a wrapped-around time.
RunLoop::Clock::time_point dueAfter(RunLoop::Clock::time_point now, std::chrono::milliseconds delay) {
    if (delay <= std::chrono::milliseconds::zero()) {
        return now;
    }
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(RunLoop::Clock::time_point::max() - now);
    return delay < room ? now + delay : RunLoop::Clock::time_point::max();
}

} // namespace

RunLoop::RunLoop(TimeSource now) : _now(std::move(now)) {}

void RunLoop::post(Task task) {
    {
        std::lock_guard lock(_mutex);
        _ready.push_back(std::move(task));
    }
    _wake.notify_one();
}

void RunLoop::postAfter(std::chrono::milliseconds delay, Task task) {
    {
        std::lock_guard lock(_mutex);
        _timers.push(Timer{dueAfter(_now(), delay), _timerOrder++, std::move(task)});
    }
    _wake.notify_one();
}

bool RunLoop::isCurrent() const {
    return _driver.load() == std::this_thread::get_id();
}

void RunLoop::stop() {
    {
        std::lock_guard lock(_mutex);
        _stopRequested = true;
    }
    _wake.notify_all();
}

std::size_t RunLoop::pendingCount() const {
    std::lock_guard lock(_mutex);
    return _ready.size() + _timers.size();
}

bool RunLoop::takeNext(Task& task, Clock::time_point deadline, bool wait) {
    std::unique_lock lock(_mutex);
    for (;;) {
        const auto now = _now();
        while (!_timers.empty() && _timers.top().due <= now) {
            _ready.push_back(std::move(const_cast<Timer&>(_timers.top()).task));
            _timers.pop();
        }
        if (_stopRequested) {
            return false;
        }
        if (!_ready.empty()) {
            task = std::move(_ready.front());
            _ready.pop_front();
            return true;
        }
        if (!wait || now >= deadline) {
            return false;
        }
        auto wakeAt = deadline;
        if (!_timers.empty() && _timers.top().due < wakeAt) {
            wakeAt = _timers.top().due;
        }
        if (wakeAt == Clock::time_point::max()) {
            _wake.wait(lock);
        } else {
            _wake.wait_for(lock, wakeAt - now); // a span, so that the loop's own clock decides what is due
        }
    }
}

void RunLoop::runTask(Task& task) {
    Task running = std::move(task);
    if (running) {
        running();
    }
}

void RunLoop::run() {
    DriverScope scope(_driver);
    Task task;
    while (takeNext(task, Clock::time_point::max(), true)) {
        runTask(task);
    }
    std::lock_guard lock(_mutex);
    _stopRequested = false;
}

void RunLoop::runFor(Clock::duration duration) {
    runUntil([] { return false; }, duration);
}

bool RunLoop::runUntil(const std::function<bool()>& done, Clock::duration timeout) {
    DriverScope scope(_driver);
    const auto deadline = _now() + timeout;
    Task task;
    while (!done() && takeNext(task, deadline, true)) {
        runTask(task);
    }
    {
        std::lock_guard lock(_mutex);
        _stopRequested = false;
    }
    return done();
}

std::size_t RunLoop::runUntilIdle() {
    DriverScope scope(_driver);
    std::size_t count = 0;
    Task task;
    while (takeNext(task, _now(), false)) {
        runTask(task);
        ++count;
    }
    return count;
}

} // namespace vexaqr
