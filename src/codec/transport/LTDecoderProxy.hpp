// LTDecoderProxy: the frame reader's handle on one LT decoder (owned; behind a pointer so that the decoder's
// type stays inside the library), run as the chosen LTDecoderKind. Not thread-safe.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/Transport.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vexaqr {

namespace LT {
class Decoder;
}

class LTDecoderProxy {
public:
    explicit LTDecoderProxy(LTDecoderKind kind = LTDecoderKind::peeling);
    ~LTDecoderProxy();
    LTDecoderProxy(LTDecoderProxy&&) noexcept;
    LTDecoderProxy& operator=(LTDecoderProxy&&) noexcept;

    /// Consumes one packet (see LT::Decoder::processPacket for what is refused).
    void processPacket(const Bytes& packet);
    /// The same for `length` bytes at `packet`, read in place.
    void processPacket(const std::uint8_t* packet, std::size_t length);
    /// Called after the last packet of each frame. The maximum-likelihood decoder solves what peeling
    /// left open when the received equations may now determine every source packet; true when finished.
    bool endFrame();
    bool isFinished() const;
    /// The rebuilt byte string, exactly the announced total length; only valid when finished.
    Bytes data() const;
    double progress() const;
    /// The seed of the next packet to be processed.
    void setSeed(std::uint32_t seed);
    void setTotalLength(std::uint32_t totalLength);
    /// K, the number of source packets; 0 before the first accepted packet.
    std::uint32_t packetCount() const;
    /// Packets accepted since the transfer began (refused ones not counted).
    std::uint64_t acceptedPackets() const;
    /// How many more independent packets the last solving attempt showed to be missing at least; 0 when
    /// none was made.
    std::uint32_t knownShortfall() const;
    LTDecoderKind kind() const { return _kind; }

private:
    LTDecoderKind _kind;
    std::unique_ptr<LT::Decoder> _decoder; // the decoder's type stays inside the library
};

} // namespace vexaqr
