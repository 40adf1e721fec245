// The "main queue": the one serial queue that completions, camera reports and presenter frames run on.
//
// Any thread may post; tasks run one at a time, in posting order (delayed tasks when due), on the thread
// that drives the queue. A host with its own event loop installs an adapter through setShared().
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vexaqr {

class MainQueue {
public:
    using Task = std::function<void()>;

    virtual ~MainQueue() = default;

    /// Runs `task` later on the queue's thread, never inline. Thread-safe.
    virtual void post(Task task) = 0;

    /// Runs `task` on the queue's thread once `delay` has passed. Thread-safe.
    virtual void postAfter(std::chrono::milliseconds delay, Task task) = 0;

    /// True when called from inside a task of this queue.
    virtual bool isCurrent() const = 0;

    /// The process-wide main queue; a RunLoop unless the host installed another one.
    static std::shared_ptr<MainQueue> shared();

    /// Replaces the process-wide main queue; call during set-up, before anything posts.
    static void setShared(std::shared_ptr<MainQueue> queue);
};

} // namespace vexaqr
