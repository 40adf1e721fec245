// PresenterScreen: a screen showing a real VXAPresenterView's frames at their scheduled times, on a virtual
// clock. A camera asks what was on the screen during an exposure and gets every frame shown in it with the
// share of the exposure it was shown for, so an exposure across a frame change sees both symbols.
//
// Any presenter configuration works: the caller starts the presentation on the view it is handed. Time only
// moves forward: an exposure must not begin before the start of the one asked for before it.
// Single-threaded, like the presenter.
#pragma once

#include "codec/platform/VirtualTimeQueue.hpp"
#include <vexaqr/views/Canvas.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace vexaqr::test {

/// One frame seen during an exposure: its picture and the fraction of the exposure it was on screen.
struct ExposedFrame {
    const Picture* picture = nullptr;
    double weight = 0.0;
};

class PresenterScreen final {
public:
    /// Starts a presentation on the view drawing onto the screen's canvas.
    using Start = std::function<void(VXAPresenterView& view)>;

    /// A square canvas of `canvasSide` pixels.
    PresenterScreen(int canvasSide, const Start& start) : PresenterScreen(canvasSide, canvasSide, start) {}
    PresenterScreen(int canvasWidth, int canvasHeight, const Start& start);

    /// The frames on screen between `fromMs` and `toMs` (milliseconds since the presentation began), with
    /// weights adding up to at most 1 (the rest of the exposure the screen was blank); empty once the
    /// presenter has stopped drawing.
    std::vector<ExposedFrame> exposure(double fromMs, double toMs);

    /// Frames the presenter has drawn so far.
    std::uint64_t framesShown() const { return _canvas->drawn; }

private:
    struct ShownFrame {
        double shownAtMs = 0.0;
        Picture picture;
    };

    // Records each picture with the virtual time it was drawn at.
    class RecordingCanvas final : public Canvas {
    public:
        RecordingCanvas(int width, int height, VirtualTimeQueue& queue, std::deque<ShownFrame>& frames)
            : _width(width), _height(height), _queue(queue), _frames(frames) {}
        int width() const override { return _width; }
        int height() const override { return _height; }
        bool draw(const Picture& picture, std::chrono::milliseconds) override;

        std::uint64_t drawn = 0;

    private:
        int _width;
        int _height;
        VirtualTimeQueue& _queue;
        std::deque<ShownFrame>& _frames;
    };

    void showUntil(double ms);
    void forgetFramesBefore(double ms);

    std::deque<ShownFrame> _frames;
    std::shared_ptr<VirtualTimeQueue> _queue;
    std::shared_ptr<RecordingCanvas> _canvas;
    std::shared_ptr<VXAPresenterView> _view;
};

} // namespace vexaqr::test
