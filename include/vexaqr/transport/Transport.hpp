// The transport's values a host names: the mode of an animated QR code, how much one frame carries,
// which LT decoder a frame reader runs, and the frame generators' constants. Plain values; safe from
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexaqr::Constant::VexaQrGenerator {

// The constants of the frame generators (group Constant::VexaQrGenerator).
/// Packets in one LT frame.
inline constexpr int ltPacketsPerQr = 73;
/// LT packet length in bytes.
inline constexpr unsigned int ltPacketLength = 8;
/// Mode byte of LT frames.
inline constexpr std::uint8_t ltCodingFirstByte = 1;
/// Mode byte of cyclic frames.
inline constexpr std::uint8_t cyclicCodingFirstByte = 2;

} // namespace vexaqr::Constant::VexaQrGenerator

namespace vexaqr {

// The transport mode of an animated QR code; the numbers are also the frames' first (mode) byte.
enum class VxaAlgorithm : std::uint8_t {
    luby = 1,   // LT fountain-coded packets
    cyclic = 2, // numbered blocks shown in a loop
};

/// "luby" or "cyclic".
constexpr std::string_view nameOf(VxaAlgorithm algorithm) {
    return algorithm == VxaAlgorithm::luby ? "luby" : "cyclic";
}

// Which LT decoder a frame reader runs. Both read the same packets and give the same bytes; they differ
// in how many packets they need and in the work they do per packet. Plain values, usable from any thread.
enum class LTDecoderKind {
    /// Resolves a source packet only when a combination of degree one appears; cheap, needs more packets.
    peeling,
    /// Peels while that progresses, then solves the rest over GF(2): completes as soon as the received
    /// equations determine every source packet.
    maximumLikelihood,
};

/// The decoder named "peeling" or "ml"; nothing for any other name.
inline std::optional<LTDecoderKind> ltDecoderKindFromName(std::string_view name) {
    if (name == "peeling") {
        return LTDecoderKind::peeling;
    }
    if (name == "ml") {
        return LTDecoderKind::maximumLikelihood;
    }
    return std::nullopt;
}

/// The short name that ltDecoderKindFromName reads back.
inline std::string_view ltDecoderKindName(LTDecoderKind kind) {
    return kind == LTDecoderKind::maximumLikelihood ? "ml" : "peeling";
}

// VexaQRFrameSize: how much one frame carries, per transport mode. Readers take the packet count of a
// luby frame from its length and a cyclic block is all the bytes after the header, so any size here is
// read by every receiver; larger frames need larger QR symbols. Plain value; safe from any thread.
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
