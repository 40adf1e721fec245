#include <vexaqr/sync/Encoding.hpp>

#include "codec/transport/LTPacketsUntilPeeled.hpp"

#include "codec/pictures/GifCanvas.hpp"
#include "codec/pictures/PngSequenceCanvas.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/pictures/SymbolGrid.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/LTEncoder.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/transport/Transport.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

namespace vexaqr {

namespace {

constexpr int kPixelsPerModule = 4;
constexpr int kMinimumSide = 21;
constexpr int kMaximumSide = 4096;
// The LT draws depend on the seed only, so following the index sets of a few fixed seeds shows what
// receivers need; the worst of them is taken.
constexpr std::uint32_t kSimulationSeeds[] = {0x2545F491u, 0x9E3779B9u, 0x6A09E667u};

Failure failure(FailureReason reason, std::string message) {
    return Failure{reason, std::move(message), std::nullopt, std::nullopt};
}

// Frames until a lossless receiver has every source packet, for one first seed.
std::uint64_t losslessLubyFrames(std::size_t size, std::uint32_t seed, const VexaQRFrameSize& frameSize) {
    const std::uint64_t packetCount = LT::packetCountFor(size, Constant::VexaQrGenerator::ltPacketLength);
    const std::uint64_t perFrame = frameSize.ltPacketsPerFrame;
    const std::uint64_t ceiling = 100 * (packetCount + 1);
    const auto packets = LT::packetsUntilPeeled(static_cast<std::uint32_t>(packetCount), seed, ceiling * perFrame);
    return (packets + perFrame - 1) / perFrame;
}

std::uint64_t losslessFrames(std::size_t size, VxaAlgorithm mode, const VexaQRFrameSize& frameSize) {
    if (mode == VxaAlgorithm::cyclic)
        return (size + frameSize.cyclicBlockLength - 1) / frameSize.cyclicBlockLength;
    std::uint64_t worst = 0;
    for (std::uint32_t seed : kSimulationSeeds)
        worst = std::max(worst, losslessLubyFrames(size, seed, frameSize));
    return worst;
}

Outcome<std::uint64_t> frameCount(std::size_t size, const EncodeOptions& options) {
    if (options.frames && options.seconds)
        return failure(FailureReason::invalidOptions, "give a frame count or a presentation time, not both");
    if (options.frames) {
        if (*options.frames == 0)
            return failure(FailureReason::invalidOptions, "the frame count must be at least 1");
        return *options.frames;
    }
    if (options.seconds) {
        const auto delay = VXAPresenterView::frameDelay(options.slowDownRate);
        if (!(*options.seconds > 0.0) || !std::isfinite(*options.seconds) || delay.count() <= 0)
            return failure(FailureReason::invalidOptions,
                           "the presentation time must be a positive number of seconds, with frames a positive "
                           "time apart (a slow-down rate above -1/3)");
        const double frames = std::ceil(*options.seconds * 1000.0 / static_cast<double>(delay.count()));
        return static_cast<std::uint64_t>(std::max(1.0, frames));
    }
    if (!(options.margin >= 0.0) || !std::isfinite(options.margin))
        return failure(FailureReason::invalidOptions, "the margin must be zero or a positive share, such as 0.5");
    return framesNeeded(size, options.mode, options.margin, options.frameSize);
}

// Calls `take` with each frame, in presenting order, rounding the count up to whole pictures of
// `framesPerPicture`; stops at the first `take` that returns false.
Outcome<void> forEachFrame(const Bytes& data, const EncodeOptions& options, std::uint64_t framesPerPicture,
                           const std::function<bool(const Bytes&)>& take) {
    auto made = VexaQRGenerator::make(data, options.mode, options.seed, options.frameSize);
    if (!made)
        return failure(FailureReason::unsendableData, made.failure().message);
    const auto count = frameCount(data.size(), options);
    if (!count)
        return count.failure();
    const std::uint64_t frames = (*count + framesPerPicture - 1) / framesPerPicture * framesPerPicture;
    for (std::uint64_t frame = 0; frame < frames; ++frame) {
        if (!take(made.value()->nextQRContent()))
            break;
        if (options.progress)
            options.progress(frame + 1, *count);
    }
    return {};
}

// The version asked for, else the smallest that holds a full frame of the mode.
int symbolVersion(const EncodeOptions& options) {
    if (options.symbolVersion > 0)
        return options.symbolVersion;
    const auto frameLength = options.mode == VxaAlgorithm::cyclic ? options.frameSize.cyclicFrameLength()
                                                                  : options.frameSize.lubyFrameLength();
    return QrSymbolCapacity::smallestVersionHolding(QrSymbolCapacity::base45Length(frameLength))
        .value_or(QrSymbolCapacity::kLargestVersion);
}

// Symbols side by side across a square picture: 1 for one symbol, 2 for 2 or 4, 3 for 6.
int symbolsAcross(const EncodeOptions& options) {
    const auto grid = SymbolGrid::fitting(options.symbolsPerPicture, kMaximumSide, kMaximumSide);
    return std::max(grid->columns(), grid->rows());
}

Outcome<int> pictureSide(const EncodeOptions& options) {
    if (options.symbolVersion != 0 && (options.symbolVersion < QrSymbolCapacity::kSmallestFrameVersion ||
                                       options.symbolVersion > QrSymbolCapacity::kLargestVersion))
        return failure(FailureReason::invalidOptions, "the symbol version must be 2 to 40");
    if (!SymbolGrid::isSupportedCount(options.symbolsPerPicture))
        return failure(FailureReason::invalidOptions, "the symbols per picture must be 1, 2, 4 or 6");
    const int cells = 17 + 4 * symbolVersion(options) + 2 * QrRenderer::kQuietZone;
    const int side = options.size > 0 ? options.size : cells * kPixelsPerModule * symbolsAcross(options);
    if (options.size < 0 || side < kMinimumSide || side > kMaximumSide)
        return failure(FailureReason::invalidOptions, "the picture side must be 21 to 4096 pixels");
    return side;
}

std::optional<QrSymbol> renderedFrame(const Bytes& frame, const EncodeOptions& options) {
    const auto text = Base45Converter::base45EncodedString(frame);
    return options.symbolVersion > 0 ? QrRenderer::render(text, options.symbolVersion) : QrRenderer::render(text);
}

// Draws each picture's symbols (one frame stretched over a `side` square, or a grid of consecutive frames)
// and hands it to `take` with the presenter's delay.
Outcome<void> forEachPicture(const Bytes& data, const EncodeOptions& options, int side,
                             const std::function<Outcome<void>(const Picture&)>& take) {
    Picture surface(side, side);
    const auto grid = SymbolGrid::fitting(options.symbolsPerPicture, side, side);
    int drawn = 0;
    Outcome<void> stopped;
    const auto framesPerPicture = static_cast<std::uint64_t>(options.symbolsPerPicture);
    auto generated = forEachFrame(data, options, framesPerPicture, [&](const Bytes& frame) {
        const auto symbol = renderedFrame(frame, options);
        if (!symbol) {
            stopped = failure(FailureReason::unsendableData,
                              options.symbolVersion > 0
                                  ? QrSymbolCapacity::frameDoesNotFit(frame.size(), options.symbolVersion)
                                  : std::string("a frame does not fit a QR symbol"));
            return false;
        }
        if (grid->count() == 1) {
            QrRenderer::draw(*symbol, surface);
        } else {
            if (drawn == 0)
                std::fill(surface.pixels.begin(), surface.pixels.end(), std::uint8_t{255});
            QrRenderer::draw(*symbol, surface, grid->cell(drawn));
        }
        drawn = (drawn + 1) % grid->count();
        if (drawn == 0)
            stopped = take(surface);
        return stopped.ok();
    });
    return generated ? stopped : generated;
}

Outcome<WrittenFrames> drawOn(Canvas& canvas, const Bytes& data, const EncodeOptions& options,
                              const std::string& where) {
    WrittenFrames written{0, 0, VXAPresenterView::frameDelay(options.slowDownRate), canvas.width()};
    auto drawn = forEachPicture(data, options, canvas.width(), [&](const Picture& picture) -> Outcome<void> {
        if (!canvas.draw(picture, written.delay))
            return failure(FailureReason::cannotWrite, "cannot write picture " + std::to_string(written.pictures) +
                                                           " to " + where + " (is the disk full?)");
        ++written.pictures;
        written.frames += static_cast<std::uint64_t>(options.symbolsPerPicture);
        return {};
    });
    if (!drawn)
        return drawn.failure();
    return written;
}

} // namespace

std::uint64_t framesNeeded(std::size_t size, VxaAlgorithm mode, double margin, const VexaQRFrameSize& frameSize) {
    if (!VexaQRGenerator::accepts(size, mode, frameSize) || !(margin >= 0.0) || !std::isfinite(margin))
        return 0;
    const auto lossless = losslessFrames(size, mode, frameSize);
    return static_cast<std::uint64_t>(std::ceil(static_cast<double>(lossless) * (1.0 + margin)));
}

Outcome<std::vector<std::string>> encodeFrames(const Bytes& data, const EncodeOptions& options) {
    std::vector<std::string> texts;
    auto generated = forEachFrame(data, options, 1, [&](const Bytes& frame) {
        texts.push_back(Base45Converter::base45EncodedString(frame));
        return true;
    });
    if (!generated)
        return generated.failure();
    return texts;
}

Outcome<std::vector<Picture>> encodePictures(const Bytes& data, const EncodeOptions& options) {
    const auto side = pictureSide(options);
    if (!side)
        return side.failure();
    std::vector<Picture> pictures;
    auto drawn = forEachPicture(data, options, *side, [&](const Picture& picture) -> Outcome<void> {
        pictures.push_back(picture);
        return {};
    });
    if (!drawn)
        return drawn.failure();
    return pictures;
}

Outcome<WrittenFrames> writeAnimatedGif(const Bytes& data, const std::string& path, const EncodeOptions& options) {
    const auto side = pictureSide(options);
    if (!side)
        return side.failure();
    auto gif = GifCanvas::create(path, *side);
    if (!gif)
        return failure(FailureReason::cannotWrite, "cannot create " + path + " (does its folder exist?)");
    auto written = drawOn(*gif, data, options, path);
    const bool finished = gif->finish();
    std::error_code error;
    if (written && !finished)
        return failure(FailureReason::cannotWrite, "cannot finish " + path + " (is the disk full?)");
    if (!written)
        std::filesystem::remove(path, error); // no valid-looking empty or partial animation is left behind
    return written;
}

Outcome<WrittenFrames> writePngSequence(const Bytes& data, const std::string& folder, const EncodeOptions& options) {
    const auto side = pictureSide(options);
    if (!side)
        return side.failure();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error))
        return failure(FailureReason::cannotWrite, "cannot create the folder " + folder + ": " + error.message());
    PngSequenceCanvas canvas(folder, *side);
    return drawOn(canvas, data, options, folder);
}

} // namespace vexaqr
