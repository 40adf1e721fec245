#include "codec/transport/LTQRGenerator.hpp"

#include "codec/transport/LubyFrameHeader.hpp"

#include <vexaqr/transport/Transport.hpp>

namespace vexaqr {

LTQRGenerator::LTQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed, std::uint32_t packetsPerFrame)
    : _data(data), _encoder(_data, Constant::VexaQrGenerator::ltPacketLength, seed), _packetsPerFrame(packetsPerFrame) {
}

bool LTQRGenerator::isValid() const {
    return _encoder.isValid() && VexaQRFrameSize::isValidLtPacketsPerFrame(_packetsPerFrame);
}

Bytes LTQRGenerator::nextQRContent() {
    using namespace Constant::VexaQrGenerator;
    if (!isValid()) {
        return {};
    }
    const LubyFrameHeader header{_encoder.seed(), _encoder.totalLength(), ltPacketLength};
    Bytes frame;
    frame.reserve(header.packetOffset(_packetsPerFrame));
    header.appendTo(frame);
    for (std::uint32_t i = 0; i < _packetsPerFrame; ++i) {
        const Bytes packet = _encoder.nextPacket();
        frame.insert(frame.end(), packet.begin(), packet.end());
    }
    return frame;
}

} // namespace vexaqr
