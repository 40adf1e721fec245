// LTEncoderProxy: an object handle on one LT encoder (owned by value). Not thread-safe.
#pragma once

#include "codec/transport/LTEncoder.hpp"
#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <limits>
#include <optional>

namespace vexaqr {

class LTEncoderProxy {
public:
    /// An encoder for `data` in packets of `packetLength` bytes; invalid (see LT::Encoder) when the
    /// pair cannot be sent, a packet length beyond 32 bits included. Without a seed the encoder
    /// starts from the clock.
    LTEncoderProxy(const Bytes& data, std::uint64_t packetLength, std::optional<std::uint32_t> seed = std::nullopt)
        : _encoder(data, packetLengthOrZero(packetLength), seed) {}

    bool isValid() const { return _encoder.isValid(); }
    /// The next LT packet (packet length bytes); empty for an invalid encoder.
    Bytes nextPacket();
    /// The seed of the next packet.
    std::uint32_t seed() const { return _encoder.getSeed(); }
    std::uint32_t totalLength() const { return _encoder.getTotalLength(); }

private:
    // A length that does not fit 32 bits becomes 0, which the encoder refuses, instead of wrapping.
    static std::uint32_t packetLengthOrZero(std::uint64_t length) {
        return length > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(length);
    }

    LT::Encoder _encoder;
};

} // namespace vexaqr
