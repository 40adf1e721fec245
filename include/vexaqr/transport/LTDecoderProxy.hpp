// LTDecoderProxy: the frame reader's handle on one LT decoder (owned by value). Not thread-safe.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/LTEncoder.hpp>

#include <cstdint>

namespace vexaqr {

class LTDecoderProxy {
public:
    /// Consumes one packet (see LT::Decoder::processPacket for what is refused).
    void processPacket(const Bytes& packet) { _decoder.processPacket(packet); }
    bool isFinished() const { return _decoder.isFinished(); }
    /// The rebuilt byte string, exactly the announced total length; only valid when finished.
    Bytes data() const { return _decoder.data(); }
    double progress() const { return _decoder.progress(); }
    /// The seed of the next packet to be processed.
    void setSeed(std::uint32_t seed) { _decoder.setSeed(seed); }
    void setTotalLength(std::uint32_t totalLength) { _decoder.setTotalLength(totalLength); }

private:
    LT::Decoder _decoder;
};

} // namespace vexaqr
