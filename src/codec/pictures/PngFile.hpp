// PngFile: pictures to and from PNG files (8-bit grayscale when written; any PNG when read).
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/views/Picture.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace vexaqr {

class PngFile final {
public:
    /// Pictures larger than this on either side, or with more pixels than kMaxPixels (a 4096 × 4096
    /// square), are refused when read: one picture and what a detector makes of it stay well within 200 MB.
    static constexpr int kMaxSide = 8192;
    static constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 24;

    /// The file's luminance; nothing when it cannot be read, is not a PNG or is too large.
    static std::optional<Picture> read(const std::string& path);

    /// The same for PNG bytes in memory.
    static std::optional<Picture> decode(const Bytes& png);

    /// Writes `picture` as an 8-bit grayscale PNG; false when the file cannot be written.
    static bool write(const std::string& path, const Picture& picture);
};

} // namespace vexaqr
