// VXAPresenterView: the sending end. Shows a byte string as an animated QR code on a canvas.
//
// Each drawing pass takes the generator's next frame, writes it as base-45 text, renders that text as a
// QR symbol (alphanumeric mode, level L; the smallest version that holds it unless a version is set),
// stretches the symbol over the whole canvas (or, with several symbols per picture, takes that many
// consecutive frames and draws them in a grid of square cells) and schedules the next pass on the main queue after
// slowDownRate × 150 + 50 ms (truncated to whole milliseconds). The loop runs for as long as there is a generator and
// frames can be rendered and drawn; there is no stop operation. Anything else that requests a pass (presenting again
// while the loop runs) starts an additional chain of passes, and the frame rate rises accordingly.
//
// Lives in a std::shared_ptr; every call, and the canvas, on the main queue's thread. A scheduled pass
// holds the view weakly: once the host releases the view, the loop ends.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/transport/Transport.hpp>
#include <vexaqr/views/Canvas.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace vexaqr {

class VexaQRGenerator;
struct QrSymbol;

class VXAPresenterView final : public std::enable_shared_from_this<VXAPresenterView> {
public:
    /// Error domain and code of a frame that does not fit the symbol version asked for.
    static constexpr const char* errorDomain = "VXAPresenterView";
    static constexpr std::int64_t frameDoesNotFitSymbol = 1;

    /// The delay used when a slow-down rate gives no schedulable one: NaN, an infinity, or a delay
    /// outside the range of a signed 64-bit count of milliseconds.
    static constexpr std::chrono::milliseconds kFallbackFrameDelay{50};

    /// Draws on `canvas`; `queue` runs the passes.
    explicit VXAPresenterView(std::shared_ptr<Canvas> canvas, std::shared_ptr<MainQueue> queue = MainQueue::shared());
    ~VXAPresenterView();

    /// Stores the data, the mode (true: luby, false: cyclic) and the rate, then starts presenting.
    /// Data that no frame of the mode can carry (empty, or over 255 blocks in cyclic mode) gives no
    /// generator: nothing is drawn, and the failure (VexaQRGenerator's error) and the log say why.
    Outcome<void, Error> presentVexaQr(const Bytes& data, bool doLuby, double slowDownRate);

    /// The first LT seed of the generators made from now on; nothing (the default) draws a random one.
    /// For reproducible presentations: recordings, tests and measurements.
    void setGeneratorSeed(std::optional<std::uint32_t> seed) { _generatorSeed = seed; }

    /// Packets per luby frame and bytes per cyclic block (default 73 and 584) for the generators made
    /// from now on (presentVexaQr, changeGenerator); a size VexaQRFrameSize refuses gives no generator.
    void setFrameSize(VexaQRFrameSize frameSize) { _frameSize = frameSize; }

    /// Renders every frame, from the next pass, as a symbol of exactly `version` (1 to 40); nothing
    /// returns to the smallest symbol per frame. A frame too long for the version draws nothing, ends
    /// the loop, and stopReason() (code frameDoesNotFitSymbol) and the log say what would fit.
    void setSymbolVersion(std::optional<int> version) { _symbolVersion = version; }

    /// Shows `count` symbols per picture from the next pass: 1 (the default), 2, 4 or 6, each the next frame of
    /// the same generator, in the SymbolGrid that fits the canvas. Another count is refused (false, nothing
    /// changes).
    bool setSymbolsPerPicture(int count);

    /// The new rate applies from the next scheduled pass.
    void setSlowDownRate(double slowDownRate) { _slowDownRate = slowDownRate; }

    /// Without stored data, does nothing (the flag is not stored either) and succeeds. Otherwise stores the
    /// flag and replaces the generator with a new one of that kind for the stored data; the running loop
    /// uses it from its next pass. The failure is presentVexaQr's.
    Outcome<void, Error> changeGenerator(bool doLuby);

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
    const VexaQRFrameSize& frameSize() const { return _frameSize; }
    const std::optional<int>& symbolVersion() const { return _symbolVersion; }
    int symbolsPerPicture() const { return _symbolsPerPicture; }
    /// Why a pass ended the loop; empty while the loop runs, and again once presentVexaQr or changeGenerator
    /// made a generator.
    const std::optional<Error>& stopReason() const { return _stopReason; }
    /// Passes that drew a picture on the canvas.
    std::uint64_t framesDrawn() const { return _framesDrawn; }

private:
    Outcome<void, Error> makeGenerator();
    void start();
    void setNeedsDisplay();
    std::optional<QrSymbol> renderFrame(const Bytes& frame);
    bool drawSymbols();

    std::shared_ptr<Canvas> _canvas;
    std::shared_ptr<MainQueue> _queue;
    Picture _surface;
    std::optional<Bytes> _presentableData;
    bool _doLuby = true;
    std::unique_ptr<VexaQRGenerator> _generator;
    std::optional<std::uint32_t> _generatorSeed;
    double _slowDownRate = 0.0;
    VexaQRFrameSize _frameSize;
    std::optional<int> _symbolVersion;
    int _symbolsPerPicture = 1;
    std::optional<Error> _stopReason;
    std::uint64_t _framesDrawn = 0;
};

} // namespace vexaqr
