// LTCodedVexaQRGenerator: luby frames (597 bytes each by default) through an LTQRGenerator. Not
// thread-safe.
#pragma once

#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

namespace vexaqr {

class LTCodedVexaQRGenerator final : public VexaQRGenerator {
public:
    /// A generator for `data`; invalid (empty frames) for data or a packet count that LTQRGenerator
    /// refuses. Without a seed the clock is used. VexaQRGenerator::make says why data is refused.
    explicit LTCodedVexaQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed = std::nullopt,
                                    std::uint32_t packetsPerFrame = VexaQRFrameSize{}.ltPacketsPerFrame)
        : generator(data, seed, packetsPerFrame) {}

    bool isValid() const { return generator.isValid(); }
    Bytes nextQRContent() override { return generator.nextQRContent(); }

private:
    LTQRGenerator generator;
};

} // namespace vexaqr
