// GifFrameReader: the frames of an animated GIF, decoded one at a time, in file order, as they are asked
// for. Opening reads every record once without decoding a pixel: the frames, their declared sizes and the
// work they would cost (the pixels decoded, and the screens handed out, each of which a detector then
// looks at) are checked before the first frame is decoded, so a small file that declares hours of work is
// refused at once, with the reason. A frame is decoded line by line onto the screen and only the area it
// covers is repainted, so memory stays within a few screens however large the file or its frames claim
// to be.
//
// Not thread-safe: one thread uses a reader at a time.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/views/Picture.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
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
    /// The most pixel work a file may cost: each frame counts the pixels it declares (what decoding it costs)
    /// and the screen's pixels (each frame is a whole screen for whoever looks at it, however little of it the
    /// frame repainted). About 10 s of decoding and detection; a 1 MiB record's GIF as written by default fits.
    static constexpr std::uint64_t kMaxPixelWork = std::uint64_t{1} << 30;

    /// A reader positioned before the first frame; null when the file cannot be opened, is not a GIF,
    /// is broken before its first whole frame or is beyond the limits. A file damaged later keeps the
    /// frames before the damage: next() hands them out, then fails. The reason goes to the log and, when given, to
    /// `refusal`.
    static std::unique_ptr<GifFrameReader> open(const std::string& path, std::string* refusal = nullptr);

    /// The same for GIF bytes in memory.
    static std::unique_ptr<GifFrameReader> open(Bytes gif, std::string* refusal = nullptr);

    /// The number of frames of the file (what open() checks); nothing when open() would refuse it.
    static std::optional<std::size_t> countFrames(const std::string& path, std::string* refusal = nullptr);

    /// Whole frames of the file (those before any damage), known from the start.
    std::size_t frameCount() const { return _frameCount; }

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
    static std::unique_ptr<GifFrameReader> opened(std::unique_ptr<Decoder> decoder, std::string source,
                                                  std::string* refusal);
    std::optional<std::string> survey();
    bool advanceToFrame();
    bool skipFrame();
    void fail(const std::string& reason);

    std::unique_ptr<Decoder> _decoder;
    std::string _source;
    State _state = State::reading;
    std::string _failure;
    bool _beyondLimits = false; // a limit was crossed, not merely damage met
    std::size_t _frameCount = 0;
};

} // namespace vexaqr
