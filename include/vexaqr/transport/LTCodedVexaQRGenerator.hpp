// LTCodedVexaQRGenerator: luby frames (597 bytes each) through an LTQRGenerator. Not thread-safe.
#pragma once

#include <vexaqr/transport/LTQRGenerator.hpp>
#include <vexaqr/transport/VexaQRGenerator.hpp>

namespace vexaqr {

class LTCodedVexaQRGenerator final : public VexaQRGenerator {
public:
    /// A generator for `data`; invalid (empty frames) for data that LTQRGenerator refuses. Without a
    /// seed the clock is used. VexaQRGenerator::make says why data is refused.
    explicit LTCodedVexaQRGenerator(const Bytes& data, std::optional<std::uint32_t> seed = std::nullopt)
        : generator(data, seed) {}

    bool isValid() const { return generator.isValid(); }
    Bytes nextQRContent() override { return generator.nextQRContent(); }

private:
    LTQRGenerator generator;
};

} // namespace vexaqr
