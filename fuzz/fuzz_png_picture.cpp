// PNG bytes from outside (a file a user scans): a picture within the limits, or nothing.
#include "codec/pictures/PngFile.hpp"

#include <cstddef>
#include <cstdint>

using namespace vexaqr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto picture = PngFile::decode(Bytes(data, data + size));
    if (picture && (picture->width <= 0 || picture->height <= 0 || picture->width > PngFile::kMaxSide ||
                    picture->height > PngFile::kMaxSide || picture->pixels.size() > PngFile::kMaxPixels ||
                    picture->pixels.size() != static_cast<std::size_t>(picture->width) * picture->height)) {
        __builtin_trap();
    }
    return 0;
}
