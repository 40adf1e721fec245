// VXAPresenterView: the sending end. Shows a byte string as an animated QR code on a canvas.
//
// Each drawing pass takes the generator's next frame, writes it as base-45 text, renders that text as a
// QR symbol (alphanumeric mode, level L), stretches the symbol over the whole canvas and schedules the
// next pass on the main queue after slowDownRate × 150 + 50 ms (truncated to whole milliseconds). The
// loop runs for as long as there is a generator and frames can be rendered and drawn; there is no stop
// operation. Anything else that requests a pass (presenting again while the loop runs) starts an
// additional chain of passes, and the frame rate rises accordingly.
//
// Lives in a std::shared_ptr; every call, and the canvas, on the main queue's thread. A scheduled pass
// holds the view weakly: once the host releases the view, the loop ends.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/transport/VexaQRGenerator.hpp>
#include <vexaqr/views/Canvas.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace vexaqr {

class VXAPresenterView final : public std::enable_shared_from_this<VXAPresenterView> {
public:
    /// The delay used when a slow-down rate gives no schedulable one: NaN, an infinity, or a delay
    /// outside the range of a signed 64-bit count of milliseconds.
    static constexpr std::chrono::milliseconds kFallbackFrameDelay{50};

    /// Draws on `canvas`; `queue` runs the passes.
    explicit VXAPresenterView(std::shared_ptr<Canvas> canvas, std::shared_ptr<MainQueue> queue = MainQueue::shared());

    /// Stores the data, the mode (true: luby, false: cyclic) and the rate, then starts presenting.
    /// Data that no frame of the mode can carry (empty, or over 148920 bytes in cyclic mode) gives no
    /// generator: nothing is drawn, and lastError() and the log say why.
    void presentVexaQr(const Bytes& data, bool doLuby, double slowDownRate);

    /// The new rate applies from the next scheduled pass.
    void setSlowDownRate(double slowDownRate) { _slowDownRate = slowDownRate; }

    /// Without stored data, does nothing (the flag is not stored either). Otherwise stores the flag and
    /// replaces the generator with a new one of that kind for the stored data; the running loop uses
    /// it from its next pass.
    void changeGenerator(bool doLuby);

    /// One drawing pass; runs when a pass was requested. Public so that a host's own display loop can
    /// drive the view.
    void drawLayer();

    /// The time the pass waits before the next one: slowDownRate × 150 + 50 ms truncated to whole
    /// milliseconds, 0 (the next pass at once) when that is negative, kFallbackFrameDelay when it has none.
    static std::chrono::milliseconds frameDelay(double slowDownRate);

    const std::optional<Bytes>& presentableData() const { return _presentableData; }
    bool doLuby() const { return _doLuby; }
    double slowDownRate() const { return _slowDownRate; }
    bool hasGenerator() const { return _generator != nullptr; }
    /// Why the last attempt to make a generator failed; empty after a success.
    const std::optional<Error>& lastError() const { return _lastError; }
    /// Passes that drew a frame on the canvas.
    std::uint64_t framesDrawn() const { return _framesDrawn; }

private:
    void startPresentation();
    void prepareLubyPresentation();
    void prepareCyclicPresentation();
    void makeGenerator(VxaAlgorithm algorithm);
    void start();
    void setNeedsDisplay();

    std::shared_ptr<Canvas> _canvas;
    std::shared_ptr<MainQueue> _queue;
    Picture _surface;
    std::optional<Bytes> _presentableData;
    bool _doLuby = true;
    std::unique_ptr<VexaQRGenerator> _generator;
    double _slowDownRate = 0.0;
    std::optional<Error> _lastError;
    std::uint64_t _framesDrawn = 0;
};

} // namespace vexaqr
