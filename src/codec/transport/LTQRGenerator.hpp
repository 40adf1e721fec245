// LTQRGenerator: packs LT packets into luby frames (see VexaQRDecoderImpl.hpp for the layout):
// a 13-byte header with the seed of the frame's first packet, then a fixed number of packets of 8 bytes
// (73 by default: 597-byte frames). Not thread-safe.
#pragma once

#include "codec/transport/LTEncoderProxy.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/Transport.hpp>

#include <cstdint>
#include <optional>

namespace vexaqr {

class LTQRGenerator {
public:
    /// A generator for `data` with `packetsPerFrame` packets in every frame; invalid when the data is
    /// empty or longer than LT::kMaximumTotalLength, or the packet count is outside what
    /// VexaQRFrameSize accepts. Without a seed the clock is used.
    explicit LTQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed = std::nullopt,
                           std::uint32_t packetsPerFrame = VexaQRFrameSize{}.ltPacketsPerFrame);

    bool isValid() const;
    /// The next frame; the sequence never ends. Empty for an invalid generator (readers ignore it).
    Bytes nextQRContent();

private:
    Bytes _data;
    LTEncoderProxy _encoder;
    std::uint32_t _packetsPerFrame;
};

} // namespace vexaqr
