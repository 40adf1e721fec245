#include "codec/transport/CyclicVexaQRGenerator.hpp"

#include <vexaqr/transport/Transport.hpp>

#include <algorithm>
#include <cmath>

namespace vexaqr {

Bytes CyclicVexaQRGenerator::nextQRContent() {
    if (!isValid()) {
        return {};
    }
    const auto blocks =
        static_cast<long>(std::ceil(static_cast<double>(data.size()) / static_cast<double>(blockLength)));
    currentFrame = (currentFrame + 1) % blocks;
    const std::size_t offset = static_cast<std::size_t>(currentFrame) * blockLength;
    const std::size_t length = std::min(blockLength, data.size() - offset);

    Bytes frame;
    frame.reserve(VexaQRFrameSize::kCyclicHeaderLength + length);
    frame.push_back(Constant::VexaQrGenerator::cyclicCodingFirstByte);
    frame.push_back(static_cast<std::uint8_t>(currentFrame));
    frame.push_back(static_cast<std::uint8_t>(blocks));
    frame.insert(frame.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                 data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    return frame;
}

} // namespace vexaqr
