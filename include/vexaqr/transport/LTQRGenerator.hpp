// LTQRGenerator: packs LT packets into luby frames (see VexaQRDecoderImpl.hpp for the layout):
// a 13-byte header with the seed of the frame's first packet, then 73 packets of 8 bytes (597 bytes).
// Not thread-safe.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/LTEncoderProxy.hpp>

#include <cstdint>
#include <optional>

namespace vexaqr {

class LTQRGenerator {
public:
    /// A generator for `data`; invalid when the data is empty or longer than LT::kMaximumTotalLength.
    /// Without a seed the clock is used.
    explicit LTQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed = std::nullopt);

    bool isValid() const { return _encoder.isValid(); }
    /// The next frame; the sequence never ends. Empty for an invalid generator (readers ignore it).
    Bytes nextQRContent();

private:
    Bytes _data;
    LTEncoderProxy _encoder;
};

} // namespace vexaqr
