// A transfer's progress on standard error: a bar redrawn in place on a terminal, nothing otherwise
// (scripts read the result, not the progress).
#pragma once

#include <vexaqr/transport/Transport.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace vexaqr::cli {

class ProgressBar {
public:
    ProgressBar() : _terminal(isatty(STDERR_FILENO) == 1) {}

    void show(double percent, VxaAlgorithm algorithm) {
        const int step = static_cast<int>(std::floor(percent * 1000));
        if (!_terminal || (step == _shownStep && algorithm == _shownAlgorithm)) {
            return;
        }
        _shownStep = step;
        _shownAlgorithm = algorithm;
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(percent * kWidth);
        std::fprintf(stderr, "\r[%s%s] %5.1f%% %-6s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent * 100.0,
                     std::string(nameOf(algorithm)).c_str());
        std::fflush(stderr);
    }

    /// Ends the bar's line so that the next output starts on a line of its own.
    void finish() {
        if (_terminal && _shownStep >= 0) {
            std::fputc('\n', stderr);
        }
        _shownStep = -1;
    }

private:
    bool _terminal;
    int _shownStep = -1;
    VxaAlgorithm _shownAlgorithm = VxaAlgorithm::luby;
};

} // namespace vexaqr::cli
