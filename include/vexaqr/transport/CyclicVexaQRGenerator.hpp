// CyclicVexaQRGenerator: cuts the data into blocks of 584 bytes and returns them as cyclic frames
// (see VexaQRDecoderImpl.hpp) in the loop 1, 2, ..., count - 1, 0, 1, ... Not thread-safe.
#pragma once

#include <vexaqr/transport/VexaQRGenerator.hpp>

namespace vexaqr {

class CyclicVexaQRGenerator final : public VexaQRGenerator {
public:
    /// Bytes per block: the payload of one LT frame (73 packets of 8 bytes).
    static constexpr std::size_t blockLength = 584;

    /// `data` must hold 1 to 148920 bytes (VexaQRGenerator::make checks).
    explicit CyclicVexaQRGenerator(Bytes data) : data(std::move(data)) {}

    Bytes nextQRContent() override;

private:
    Bytes data;
    long currentFrame = 0;
};

} // namespace vexaqr
