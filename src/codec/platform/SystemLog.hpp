// SystemLog: the operating system's log (syslog at debug priority), where the frame reader notes
// every accepted frame whatever the debug printer's switch says. A host or a test may divert it.
//
// write() and setSink() may be called from any thread.
#pragma once

#include <functional>
#include <mutex>
#include <string_view>

namespace vexaqr {

class SystemLog final {
public:
    using Sink = std::function<void(std::string_view line)>;

    /// The process-wide log, created on first use and never destroyed.
    static SystemLog& standard();

    /// Writes one line to the sink, or to syslog when no sink is set.
    void write(std::string_view line);

    /// Diverts every later line to `sink`; an empty sink restores syslog.
    void setSink(Sink sink);

private:
    std::mutex _mutex;
    Sink _sink;
};

} // namespace vexaqr
