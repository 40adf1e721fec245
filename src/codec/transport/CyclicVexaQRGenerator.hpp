// CyclicVexaQRGenerator: cuts the data into blocks (584 bytes by default) and returns them as cyclic
// frames (see VexaQRDecoderImpl.hpp) in the loop 1, 2, ..., count - 1, 0, 1, ... Not thread-safe.
#pragma once

#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/transport/Transport.hpp>

namespace vexaqr {

class CyclicVexaQRGenerator final : public VexaQRGenerator {
public:
    /// Bytes per block unless told otherwise: the payload of a default LT frame (73 packets of 8 bytes).
    static constexpr std::size_t defaultBlockLength = 584;

    /// A generator for `data` in blocks of `blockLength` bytes; invalid for a block length that
    /// VexaQRFrameSize refuses and for data outside 1 to 255 blocks, which one-byte block numbers cannot
    /// carry. VexaQRGenerator::make says why data is refused.
    explicit CyclicVexaQRGenerator(Bytes data, std::size_t blockLength = defaultBlockLength)
        : data(std::move(data)), blockLength(blockLength) {}

    bool isValid() const {
        return VexaQRFrameSize::isValidCyclicBlockLength(blockLength) && !data.empty() &&
               data.size() <= VexaQRFrameSize::kMaximumCyclicBlocks * blockLength;
    }
    /// The next block's frame; empty for an invalid generator (readers ignore it).
    Bytes nextQRContent() override;

private:
    Bytes data;
    std::size_t blockLength;
    long currentFrame = 0;
};

} // namespace vexaqr
