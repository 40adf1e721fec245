#include "codec/platform/SystemLog.hpp"

#include <string>
#include <syslog.h>

namespace vexaqr {

SystemLog& SystemLog::standard() {
    static auto* log = new SystemLog();
    return *log;
}

void SystemLog::write(std::string_view line) {
    std::lock_guard lock(_mutex);
    if (_sink) {
        _sink(line);
        return;
    }
    const std::string text(line);
    syslog(LOG_USER | LOG_DEBUG, "%s", text.c_str());
}

void SystemLog::setSink(Sink sink) {
    std::lock_guard lock(_mutex);
    _sink = std::move(sink);
}

} // namespace vexaqr
