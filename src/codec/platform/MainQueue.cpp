#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <atomic>

namespace vexaqr {

namespace {

std::shared_ptr<MainQueue>& installedQueue() {
    // Never destroyed: tasks may still be posted while static objects are torn down.
    static auto* queue = new std::shared_ptr<MainQueue>(std::make_shared<RunLoop>());
    return *queue;
}

} // namespace

std::shared_ptr<MainQueue> MainQueue::shared() {
    return std::atomic_load(&installedQueue());
}

void MainQueue::setShared(std::shared_ptr<MainQueue> queue) {
    if (queue) {
        std::atomic_store(&installedQueue(), std::move(queue));
    }
}

} // namespace vexaqr
