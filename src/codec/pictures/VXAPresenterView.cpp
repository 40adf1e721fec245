#include <vexaqr/views/VXAPresenterView.hpp>

#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/platform/LogManager.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include <algorithm>
#include <string>

namespace vexaqr {

namespace {

constexpr double kDelayPerRate = 150.0;
constexpr double kDelayFloor = 50.0;

} // namespace

VXAPresenterView::VXAPresenterView(std::shared_ptr<Canvas> canvas, std::shared_ptr<MainQueue> queue)
    : _canvas(std::move(canvas)), _queue(std::move(queue)), _surface(_canvas->width(), _canvas->height()) {}

VXAPresenterView::~VXAPresenterView() = default;

Outcome<void, Error> VXAPresenterView::presentVexaQr(const Bytes& data, bool doLuby, double slowDownRate) {
    _presentableData = data;
    _doLuby = doLuby;
    _slowDownRate = slowDownRate;
    auto made = makeGenerator();
    start();
    return made;
}

Outcome<void, Error> VXAPresenterView::changeGenerator(bool doLuby) {
    if (!_presentableData) {
        return {};
    }
    _doLuby = doLuby;
    return makeGenerator();
}

Outcome<void, Error> VXAPresenterView::makeGenerator() {
    const auto algorithm = _doLuby ? VxaAlgorithm::luby : VxaAlgorithm::cyclic;
    _generator.reset();
    _stopReason.reset();
    auto made = VexaQRGenerator::make(*_presentableData, algorithm, _generatorSeed, _frameSize);
    if (!made) {
        LogManager::standard().log("VXAPresenterView: nothing to present in " + std::string(nameOf(algorithm)) +
                                   " mode: " + made.failure().message);
        return made.failure();
    }
    _generator = std::move(made).value();
    return {};
}

void VXAPresenterView::start() {
    setNeedsDisplay();
}

// Requests one pass. Every request gets its own pass, so each chain of passes keeps its own rhythm.
void VXAPresenterView::setNeedsDisplay() {
    _queue->post([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->drawLayer();
        }
    });
}

bool VXAPresenterView::setSymbolsPerPicture(int count) {
    if (!SymbolGrid::isSupportedCount(count) || !SymbolGrid::fitting(count, _surface.width, _surface.height)) {
        return false;
    }
    _symbolsPerPicture = count;
    return true;
}

// Draws the next frame over the whole surface, or the next frames in their grid cells on a light ground.
bool VXAPresenterView::drawSymbols() {
    if (_symbolsPerPicture == 1) {
        const auto symbol = renderFrame(_generator->nextQRContent());
        if (symbol) {
            QrRenderer::draw(*symbol, _surface);
        }
        return symbol.has_value();
    }
    const auto grid = SymbolGrid::fitting(_symbolsPerPicture, _surface.width, _surface.height);
    std::fill(_surface.pixels.begin(), _surface.pixels.end(), std::uint8_t{255});
    for (int index = 0; index < grid->count(); ++index) {
        const auto symbol = renderFrame(_generator->nextQRContent());
        if (!symbol) {
            return false;
        }
        QrRenderer::draw(*symbol, _surface, grid->cell(index));
    }
    return true;
}

void VXAPresenterView::drawLayer() {
    if (!_generator || !drawSymbols()) {
        return;
    }
    const auto delay = frameDelay(_slowDownRate);
    if (!_canvas->draw(_surface, delay)) {
        LogManager::standard().log("VXAPresenterView: the canvas refused a frame; the presentation ends");
        return;
    }
    ++_framesDrawn;
    _queue->postAfter(delay, [weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->setNeedsDisplay();
        }
    });
}

std::optional<QrSymbol> VXAPresenterView::renderFrame(const Bytes& frame) {
    const std::string text = Base45Converter::base45EncodedString(frame);
    if (_symbolVersion && text.size() > QrSymbolCapacity::alphanumericCharacters(*_symbolVersion)) {
        const std::string message = QrSymbolCapacity::frameDoesNotFit(frame.size(), *_symbolVersion);
        _stopReason = Error{errorDomain, frameDoesNotFitSymbol, message};
        LogManager::standard().log("VXAPresenterView: " + message + "; the presentation ends");
        return std::nullopt;
    }
    auto symbol = _symbolVersion ? QrRenderer::render(text, *_symbolVersion) : QrRenderer::render(text);
    if (!symbol) {
        LogManager::standard().log("VXAPresenterView: a frame cannot be rendered; the presentation ends");
    }
    return symbol;
}

std::chrono::milliseconds VXAPresenterView::frameDelay(double slowDownRate) {
    const double milliseconds = slowDownRate * kDelayPerRate + kDelayFloor;
    // 2^63 itself is a double but no int64; every finite double below it truncates to one. The negated
    // test also catches NaN.
    constexpr double kBeyondInt64 = 9223372036854775808.0;
    if (!(milliseconds < kBeyondInt64 && milliseconds >= -kBeyondInt64)) {
        return kFallbackFrameDelay;
    }
    if (milliseconds <= 0.0) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds)); // truncates toward zero
}

} // namespace vexaqr
