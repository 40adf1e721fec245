// LogManager: the SDK-wide debug printer, off until the host switches it on.
//
// log() may be called from any thread; each call writes one whole line.
#pragma once

#include <atomic>
#include <string_view>

namespace vexaqr {

class LogManager final {
public:
    /// The process-wide printer, created on first use and never destroyed.
    static LogManager& standard();

    /// Whether log() writes anything; false in every new process.
    std::atomic<bool> enabled{false};

    /// Whether log() writes to standard error instead of standard output: for programs whose standard output
    /// is read by other programs (JSON output), where a debug line would break it.
    std::atomic<bool> toStandardError{false};

    /// Writes `text` and a line feed to standard output (or error) when enabled; does nothing otherwise.
    void log(std::string_view text) const;
};

} // namespace vexaqr
