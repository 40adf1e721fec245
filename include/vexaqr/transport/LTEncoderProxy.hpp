// LTEncoderProxy: an object handle on one LT encoder (owned by value). Not thread-safe.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/LTEncoder.hpp>

#include <cstdint>
#include <optional>

namespace vexaqr {

class LTEncoderProxy {
public:
    /// `data` must not be empty; `packetLength` (at least 1) is narrowed to 32 bits. Without a seed
    /// the encoder starts from the clock.
    LTEncoderProxy(const Bytes& data, std::uint64_t packetLength, std::optional<std::uint32_t> seed = std::nullopt)
        : _encoder(data, static_cast<std::uint32_t>(packetLength), seed) {}

    /// The next LT packet (packet length bytes).
    Bytes nextPacket() { return _encoder.generatePacket().bytes(); }
    /// The seed of the next packet.
    std::uint32_t seed() const { return _encoder.getSeed(); }
    std::uint32_t totalLength() const { return _encoder.getTotalLength(); }

private:
    LT::Encoder _encoder;
};

} // namespace vexaqr
