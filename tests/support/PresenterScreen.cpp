#include "support/PresenterScreen.hpp"

#include <algorithm>

namespace vexaqr::test {

bool PresenterScreen::RecordingCanvas::draw(const Picture& picture, std::chrono::milliseconds) {
    _frames.push_back({static_cast<double>(_queue.now().count()), picture});
    ++drawn;
    return true;
}

PresenterScreen::PresenterScreen(int canvasWidth, int canvasHeight, const Start& start)
    : _queue(std::make_shared<VirtualTimeQueue>()),
      _canvas(std::make_shared<RecordingCanvas>(canvasWidth, canvasHeight, *_queue, _frames)),
      _view(std::make_shared<VXAPresenterView>(_canvas, _queue)) {
    start(*_view);
}

// Runs the presenter until it has drawn a frame after `ms`, so that the frame on screen at `ms` is known.
void PresenterScreen::showUntil(double ms) {
    _queue->runUntil([&] { return !_frames.empty() && _frames.back().shownAtMs > ms; });
}

// Keeps the frame on screen at `ms` and everything after it.
void PresenterScreen::forgetFramesBefore(double ms) {
    while (_frames.size() > 1 && _frames[1].shownAtMs <= ms) {
        _frames.pop_front();
    }
}

std::vector<ExposedFrame> PresenterScreen::exposure(double fromMs, double toMs) {
    std::vector<ExposedFrame> seen;
    if (!(toMs > fromMs)) {
        return seen;
    }
    showUntil(toMs);
    forgetFramesBefore(fromMs);
    const bool presenterStopped = _frames.empty() || _frames.back().shownAtMs <= toMs;
    if (presenterStopped) {
        return seen; // a presenter that no longer draws leaves the screen blank in this simulation
    }
    for (std::size_t i = 0; i + 1 < _frames.size(); ++i) {
        const double begin = std::max(fromMs, _frames[i].shownAtMs);
        const double end = std::min(toMs, _frames[i + 1].shownAtMs);
        if (end > begin) {
            seen.push_back({&_frames[i].picture, (end - begin) / (toMs - fromMs)});
        }
    }
    return seen;
}

} // namespace vexaqr::test
