// GifFile: the frames of an animated GIF as the viewer would show them, with their delays.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/views/Picture.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

struct GifFrame {
    Picture picture;                 // the whole screen after this frame was drawn, as luminance
    std::chrono::milliseconds delay; // how long the frame stays before the next one
};

class GifFile final {
public:
    /// Screens larger than this on either side, or with more frames, are refused.
    static constexpr int kMaxSide = 4096;
    static constexpr std::size_t kMaxFrames = 10000;

    /// Every frame composed onto the screen (frame offsets, transparency and disposal applied);
    /// nothing when the file cannot be read or is not a GIF within the limits.
    static std::optional<std::vector<GifFrame>> readFrames(const std::string& path);

    /// The same for GIF bytes in memory.
    static std::optional<std::vector<GifFrame>> decodeFrames(const Bytes& gif);
};

} // namespace vexaqr
