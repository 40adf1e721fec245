// HubThreadParameter: what the background thread of unregisterAllWithDeviceToken carries: the hub (kept alive
// for the thread's life), the token text, the completion and whether the call came from the main queue.
//
// Moved into the thread once; not shared.
#pragma once

#include <vexaqr/hub/NotificationHub.hpp>

#include <memory>
#include <string>

namespace vexaqr {

struct HubThreadParameter {
    std::shared_ptr<NotificationHub> hub;
    std::string deviceToken;
    NotificationHub::Completion completion;
    bool calledFromMainQueue = false;
};

} // namespace vexaqr
