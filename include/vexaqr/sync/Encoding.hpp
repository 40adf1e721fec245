// Sending without a screen: a byte string turned into a bounded sequence of frames, as base-45 texts,
// as pictures, as an animated GIF or as numbered PNG files, in one synchronous call.
//
// The frames are exactly those a presenter view shows for the same data, mode and seed; the pictures
// are the symbols it draws. Stateless functions; safe on any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/sync/Failure.hpp>
#include <vexaqr/transport/Transport.hpp>
#include <vexaqr/views/Picture.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

struct EncodeOptions {
    VxaAlgorithm mode = VxaAlgorithm::luby;
    /// Exactly this many frames; excludes `seconds`.
    std::optional<std::uint64_t> frames;
    /// As many frames as a presenter shows in this time; excludes `frames`.
    std::optional<double> seconds;
    /// Without `frames` or `seconds`: frames for a receiver without losses, plus this share more.
    double margin = 1.0;
    /// Pictures only: the side in pixels; 0 draws four pixels per module of the frames' symbol.
    int size = 0;
    /// Packets per luby frame and bytes per cyclic block; larger frames need larger symbols.
    VexaQRFrameSize frameSize;
    /// Pictures only: every symbol at this QR version (2 to 40); 0 takes the smallest that holds a frame.
    int symbolVersion = 0;
    /// Pictures only: 1, 2, 4 or 6 consecutive frames side by side in each picture (see SymbolGrid); the
    /// frame count is rounded up to whole pictures.
    int symbolsPerPicture = 1;
    /// Frames are slowDownRate × 150 + 50 ms apart, as on a presenter view.
    double slowDownRate = 0.0;
    /// Fixes the first LT seed, for reproducible frames; without it the clock gives one.
    std::optional<std::uint32_t> seed;
    /// Called after each frame is made (and drawn and written, for pictures and files) with the frames
    /// done and the frames in all, for a progress bar.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress{};
};

/// What was written, for a summary line.
struct WrittenFrames {
    std::uint64_t frames = 0;
    std::uint64_t pictures = 0;         // frames ÷ symbols per picture
    std::chrono::milliseconds delay{0}; // between pictures
    int side = 0;                       // of each picture, in pixels
};

/// Frames a receiver that loses none needs for `size` bytes in `mode`, times (1 + `margin`), rounded
/// up. Luby counts follow a peeling receiver through the index sets of several seeds and take the
/// worst (the bytes do not change where peeling completes); cyclic counts are the block count. 0 when
/// no transfer of the mode carries `size` bytes or `margin` is negative.
std::uint64_t framesNeeded(std::size_t size, VxaAlgorithm mode, double margin = 1.0,
                           const VexaQRFrameSize& frameSize = {});

/// The frames as base-45 texts, one per QR symbol.
Outcome<std::vector<std::string>> encodeFrames(const Bytes& data, const EncodeOptions& options = {});

/// The frames as pictures (options.size square), each symbol with its quiet zone; several per picture in a
/// grid when options.symbolsPerPicture says so.
Outcome<std::vector<Picture>> encodePictures(const Bytes& data, const EncodeOptions& options = {});

/// Writes the frames as an endlessly looping animated GIF, each shown for the presenter's delay.
Outcome<WrittenFrames> writeAnimatedGif(const Bytes& data, const std::string& path, const EncodeOptions& options = {});

/// Writes "frame-000000.png", "frame-000001.png", … into `folder` (created when missing).
Outcome<WrittenFrames> writePngSequence(const Bytes& data, const std::string& folder,
                                        const EncodeOptions& options = {});

} // namespace vexaqr
