// GIF bytes from outside (a file a user scans): frames are composed within the screen, never beyond it.
#include "codec/pictures/GifFile.hpp"

#include <cstddef>
#include <cstdint>

using namespace vexaqr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto frames = GifFile::decodeFrames(Bytes(data, data + size));
    if (!frames) {
        return 0;
    }
    for (const auto& frame : *frames) {
        const auto& picture = frame.picture;
        if (picture.width <= 0 || picture.height <= 0 || picture.width > GifFile::kMaxSide ||
            picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height ||
            frame.delay.count() < 0) {
            __builtin_trap();
        }
    }
    return 0;
}
