#include "codec/platform/VirtualTimeQueue.hpp"

namespace vexaqr {

void VirtualTimeQueue::post(Task task) {
    std::lock_guard lock(_mutex);
    _ready.push_back(std::move(task));
}

void VirtualTimeQueue::postAfter(std::chrono::milliseconds delay, Task task) {
    std::lock_guard lock(_mutex);
    if (delay.count() <= 0) {
        _ready.push_back(std::move(task));
    } else {
        // A delay beyond the clock's range is due at its end rather than at a wrapped-around time.
        const auto room = std::chrono::milliseconds::max() - _now;
        _timers.emplace(delay < room ? _now + delay : std::chrono::milliseconds::max(), std::move(task));
    }
}

bool VirtualTimeQueue::isCurrent() const {
    return _driver.load() == std::this_thread::get_id();
}

std::chrono::milliseconds VirtualTimeQueue::now() const {
    std::lock_guard lock(_mutex);
    return _now;
}

bool VirtualTimeQueue::takeNext(Task& task, bool advance) {
    std::lock_guard lock(_mutex);
    if (_ready.empty() && advance && !_timers.empty()) {
        _now = _timers.begin()->first;
    }
    while (!_timers.empty() && _timers.begin()->first <= _now) {
        _ready.push_back(std::move(_timers.begin()->second));
        _timers.erase(_timers.begin());
    }
    if (_ready.empty()) {
        return false;
    }
    task = std::move(_ready.front());
    _ready.pop_front();
    return true;
}

void VirtualTimeQueue::runTask(Task& task) {
    const auto previous = _driver.exchange(std::this_thread::get_id());
    Task running = std::move(task);
    if (running) {
        running();
    }
    _driver.store(previous);
}

bool VirtualTimeQueue::runUntil(const std::function<bool()>& done) {
    Task task;
    while (!done() && takeNext(task, true)) {
        runTask(task);
    }
    return done();
}

std::size_t VirtualTimeQueue::runUntilIdle() {
    std::size_t count = 0;
    Task task;
    while (takeNext(task, false)) {
        runTask(task);
        ++count;
    }
    return count;
}

} // namespace vexaqr
