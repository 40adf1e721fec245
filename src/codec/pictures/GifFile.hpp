// GifFile: all the frames of an animated GIF at once, as the viewer would show them, with their delays.
// For files of a known, modest size; GifFrameReader gives the frames one at a time.
#pragma once

#include "codec/pictures/GifFrameReader.hpp"
#include <vexaqr/Bytes.hpp>

#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class GifFile final {
public:
    /// Screens or frames larger than this on either side, or files with more frames, are refused.
    static constexpr int kMaxSide = GifFrameReader::kMaxSide;
    static constexpr std::size_t kMaxFrames = GifFrameReader::kMaxFrames;
    /// All composed screens together may hold no more pixels than this.
    static constexpr std::size_t kMaxComposedPixels = std::size_t{64} << 20;

    /// Every frame composed onto the screen (frame offsets, transparency and disposal applied);
    /// nothing when the file cannot be read or is not a GIF within the limits.
    static std::optional<std::vector<GifFrame>> readFrames(const std::string& path);

    /// The same for GIF bytes in memory.
    static std::optional<std::vector<GifFrame>> decodeFrames(const Bytes& gif);
};

} // namespace vexaqr
