// LTDecoderProxy: the frame reader's handle on one LT decoder (owned by value), run as the chosen
// LTDecoderKind. Not thread-safe.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/LTDecoderKind.hpp>
#include <vexaqr/transport/LTEncoder.hpp>

#include <cstddef>
#include <cstdint>

namespace vexaqr {

class LTDecoderProxy {
public:
    explicit LTDecoderProxy(LTDecoderKind kind = LTDecoderKind::peeling) : _kind(kind) {}

    /// Consumes one packet (see LT::Decoder::processPacket for what is refused).
    void processPacket(const Bytes& packet) { _decoder.processPacket(packet); }
    /// The same for `length` bytes at `packet`, read in place.
    void processPacket(const std::uint8_t* packet, std::size_t length) { _decoder.processPacket(packet, length); }
    /// Called after the last packet of each frame. The maximum-likelihood decoder solves what peeling
    /// left open when the received equations may now determine every source packet; true when finished.
    bool endFrame() {
        if (_kind == LTDecoderKind::maximumLikelihood) {
            _decoder.completeBySolving();
        }
        return _decoder.isFinished();
    }
    bool isFinished() const { return _decoder.isFinished(); }
    /// The rebuilt byte string, exactly the announced total length; only valid when finished.
    Bytes data() const { return _decoder.data(); }
    double progress() const { return _decoder.progress(); }
    /// The seed of the next packet to be processed.
    void setSeed(std::uint32_t seed) { _decoder.setSeed(seed); }
    void setTotalLength(std::uint32_t totalLength) { _decoder.setTotalLength(totalLength); }
    /// K, the number of source packets; 0 before the first accepted packet.
    std::uint32_t packetCount() const { return _decoder.getPacketCount(); }
    /// Packets accepted since the transfer began (refused ones not counted).
    std::uint64_t acceptedPackets() const { return _decoder.acceptedPacketCount(); }
    /// How many more independent packets the last solving attempt showed to be missing at least; 0 when
    /// none was made.
    std::uint32_t knownShortfall() const { return _decoder.knownShortfall(); }
    LTDecoderKind kind() const { return _kind; }

private:
    LTDecoderKind _kind;
    LT::Decoder _decoder;
};

} // namespace vexaqr
