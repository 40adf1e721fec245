// CyclicVexaQRGenerator: cuts the data into blocks of 584 bytes and returns them as cyclic frames
// (see VexaQRDecoderImpl.hpp) in the loop 1, 2, ..., count - 1, 0, 1, ... Not thread-safe.
#pragma once

#include <vexaqr/transport/VexaQRGenerator.hpp>

namespace vexaqr {

class CyclicVexaQRGenerator final : public VexaQRGenerator {
public:
    /// Bytes per block: the payload of one LT frame (73 packets of 8 bytes).
    static constexpr std::size_t blockLength = 584;

    /// A generator for `data`; invalid for data outside 1 to maximumCyclicLength bytes, which one-byte
    /// block numbers cannot carry. VexaQRGenerator::make says why data is refused.
    explicit CyclicVexaQRGenerator(Bytes data) : data(std::move(data)) {}

    bool isValid() const { return !data.empty() && data.size() <= maximumCyclicLength; }
    /// The next block's frame; empty for an invalid generator (readers ignore it).
    Bytes nextQRContent() override;

private:
    Bytes data;
    long currentFrame = 0;
};

} // namespace vexaqr
