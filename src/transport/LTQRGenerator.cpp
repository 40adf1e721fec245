#include <vexaqr/transport/LTQRGenerator.hpp>

#include <vexaqr/transport/VexaQrGeneratorConstant.hpp>

namespace vexaqr {

namespace {

void appendBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

} // namespace

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
    const std::uint32_t totalLength = _encoder.totalLength();
    const std::uint32_t seed = _encoder.seed();
    Bytes frame;
    frame.reserve(VexaQRFrameSize::kLubyHeaderLength + std::size_t{_packetsPerFrame} * ltPacketLength);
    frame.push_back(ltCodingFirstByte);
    appendBigEndian32(frame, seed);
    appendBigEndian32(frame, totalLength);
    appendBigEndian32(frame, ltPacketLength);
    for (std::uint32_t i = 0; i < _packetsPerFrame; ++i) {
        const Bytes packet = _encoder.nextPacket();
        frame.insert(frame.end(), packet.begin(), packet.end());
    }
    return frame;
}

} // namespace vexaqr
