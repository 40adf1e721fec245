// GifFrameReader: the frames of an animated GIF, decoded one at a time, in file order, as they are asked
// for. Each frame's declared size is checked before any of its pixels are decoded, and a frame is
// decoded line by line onto the screen, so memory stays within a few screens however large the file or
// its frames claim to be.
//
// Not thread-safe: one thread uses a reader at a time.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/views/Picture.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace vexaqr {

struct GifFrame {
    Picture picture;                 // the whole screen after this frame was drawn, as luminance
    std::chrono::milliseconds delay; // how long the frame stays before the next one
};

class GifFrameReader final {
public:
    /// Screens and frames larger than this on either side, and files with more frames, are refused.
    static constexpr int kMaxSide = 4096;
    static constexpr std::size_t kMaxFrames = 10000;

    /// A reader positioned before the first frame; null when the file cannot be opened, is not a GIF or
    /// its screen is beyond the limits (the log says which).
    static std::unique_ptr<GifFrameReader> open(const std::string& path);

    /// The same for GIF bytes in memory.
    static std::unique_ptr<GifFrameReader> open(Bytes gif);

    /// The number of frames of the file, found by reading every record and checking every frame's
    /// declared size without decoding any pixel; nothing when the file is unreadable or beyond the limits.
    static std::optional<std::size_t> countFrames(const std::string& path);

    ~GifFrameReader();
    GifFrameReader(const GifFrameReader&) = delete;
    GifFrameReader& operator=(const GifFrameReader&) = delete;

    /// The next frame composed onto the screen (offsets, transparency and disposal applied); nothing
    /// after the last frame, or when the file turns out broken or beyond the limits (then failed()).
    std::optional<GifFrame> next();

    /// True once next() met a broken frame or one beyond the limits; no frame follows.
    bool failed() const { return _state == State::failed; }

private:
    struct Decoder;
    enum class State { reading, finished, failed };

    GifFrameReader(std::unique_ptr<Decoder> decoder, std::string source);
    static std::unique_ptr<GifFrameReader> opened(std::unique_ptr<Decoder> decoder, std::string source);
    bool advanceToFrame();
    bool skipFrame();
    void fail(const std::string& reason);

    std::unique_ptr<Decoder> _decoder;
    std::string _source;
    State _state = State::reading;
};

} // namespace vexaqr
