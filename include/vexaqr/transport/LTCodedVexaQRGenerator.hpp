// LTCodedVexaQRGenerator: luby frames (597 bytes each) through an LTQRGenerator. Not thread-safe.
#pragma once

#include <vexaqr/transport/LTQRGenerator.hpp>
#include <vexaqr/transport/VexaQRGenerator.hpp>

namespace vexaqr {

class LTCodedVexaQRGenerator final : public VexaQRGenerator {
public:
    /// `data` must not be empty (VexaQRGenerator::make checks). Without a seed the clock is used.
    explicit LTCodedVexaQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed = std::nullopt)
        : generator(data, seed) {}

    Bytes nextQRContent() override { return generator.nextQRContent(); }

private:
    LTQRGenerator generator;
};

} // namespace vexaqr
