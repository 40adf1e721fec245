// VexaQRFrameSize: how much one frame carries, per transport mode. Readers take the packet count of a
// luby frame from its length and a cyclic block is all the bytes after the header, so any size here is
// read by every receiver; larger frames need larger QR symbols. Plain value; safe from any thread.
#pragma once

#include <vexaqr/transport/VexaQrGeneratorConstant.hpp>

#include <cstddef>
#include <cstdint>

namespace vexaqr {

struct VexaQRFrameSize {
    /// Bytes before the packets of a luby frame: mode, seed, total length, packet length.
    static constexpr std::size_t kLubyHeaderLength = 13;
    /// Bytes before the block of a cyclic frame: mode, index, count.
    static constexpr std::size_t kCyclicHeaderLength = 3;
    /// Blocks of the largest cyclic transfer: index and count are one byte each.
    static constexpr std::size_t kMaximumCyclicBlocks = 255;
    /// Bounds that keep every derived length far from overflow; larger frames fit no QR symbol.
    static constexpr std::uint32_t kMaximumLtPacketsPerFrame = 1u << 16;
    static constexpr std::size_t kMaximumCyclicBlockLength = std::size_t{1} << 20;

    /// LT packets (of 8 bytes) in one luby frame; 73 gives today's 597-byte frames.
    std::uint32_t ltPacketsPerFrame = 73;
    /// Data bytes in one full cyclic frame; 584 gives today's 587-byte frames.
    std::size_t cyclicBlockLength = 584;

    /// True when both counts lie between 1 and their maximum.
    bool isValid() const {
        return isValidLtPacketsPerFrame(ltPacketsPerFrame) && isValidCyclicBlockLength(cyclicBlockLength);
    }
    static bool isValidLtPacketsPerFrame(std::uint32_t packets) {
        return packets >= 1 && packets <= kMaximumLtPacketsPerFrame;
    }
    static bool isValidCyclicBlockLength(std::size_t length) {
        return length >= 1 && length <= kMaximumCyclicBlockLength;
    }
    /// Bytes of every luby frame.
    std::size_t lubyFrameLength() const {
        return kLubyHeaderLength + std::size_t{ltPacketsPerFrame} * Constant::VexaQrGenerator::ltPacketLength;
    }
    /// Bytes of a full cyclic frame (the last block of a transfer may be shorter).
    std::size_t cyclicFrameLength() const { return kCyclicHeaderLength + cyclicBlockLength; }
    /// The most a cyclic transfer carries: 255 full blocks.
    std::size_t maximumCyclicLength() const { return kMaximumCyclicBlocks * cyclicBlockLength; }

    friend bool operator==(const VexaQRFrameSize&, const VexaQRFrameSize&) = default;
};

} // namespace vexaqr
