// Picture: an 8-bit luminance raster, the one picture format canvases draw and cameras deliver.
#pragma once

#include <cstdint>
#include <vector>

namespace vexaqr {

/// Row-major luminance, 0 black to 255 white, no padding between rows. A value type.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    Picture() = default;
    Picture(int width, int height, std::uint8_t fill = 255)
        : width(width), height(height), pixels(static_cast<std::size_t>(width) * height, fill) {}

    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool empty() const { return pixels.empty(); }

    friend bool operator==(const Picture&, const Picture&) = default;
};

} // namespace vexaqr
