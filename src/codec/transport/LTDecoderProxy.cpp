#include "codec/transport/LTDecoderProxy.hpp"

#include "codec/transport/LTDecoder.hpp"

namespace vexaqr {

LTDecoderProxy::LTDecoderProxy(LTDecoderKind kind) : _kind(kind), _decoder(std::make_unique<LT::Decoder>()) {}
LTDecoderProxy::~LTDecoderProxy() = default;
LTDecoderProxy::LTDecoderProxy(LTDecoderProxy&&) noexcept = default;
LTDecoderProxy& LTDecoderProxy::operator=(LTDecoderProxy&&) noexcept = default;

void LTDecoderProxy::processPacket(const Bytes& packet) {
    _decoder->processPacket(packet);
}

void LTDecoderProxy::processPacket(const std::uint8_t* packet, std::size_t length) {
    _decoder->processPacket(packet, length);
}

bool LTDecoderProxy::endFrame() {
    if (_kind == LTDecoderKind::maximumLikelihood) {
        _decoder->completeBySolving();
    }
    return _decoder->isFinished();
}

bool LTDecoderProxy::isFinished() const {
    return _decoder->isFinished();
}

Bytes LTDecoderProxy::data() const {
    return _decoder->data();
}

double LTDecoderProxy::progress() const {
    return _decoder->progress();
}

void LTDecoderProxy::setSeed(std::uint32_t seed) {
    _decoder->setSeed(seed);
}

void LTDecoderProxy::setTotalLength(std::uint32_t totalLength) {
    _decoder->setTotalLength(totalLength);
}

std::uint32_t LTDecoderProxy::packetCount() const {
    return _decoder->getPacketCount();
}

std::uint64_t LTDecoderProxy::acceptedPackets() const {
    return _decoder->acceptedPacketCount();
}

std::uint32_t LTDecoderProxy::knownShortfall() const {
    return _decoder->knownShortfall();
}

} // namespace vexaqr
