// LubyFrameHeader: the 13 bytes before the packets of a luby frame, the one place that reads and writes
// them. Numbers are unsigned 32-bit big-endian:
//   [0] 0x01 | [1..4] seed of the frame's first packet | [5..8] total length | [9..12] packet length L
// The frame's packets follow: n = floor((size - 13) / L) of L bytes (n = 0 when L = 0; trailing bytes
// ignored). Plain value; safe from any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/Transport.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vexaqr {

struct LubyFrameHeader {
    static constexpr std::size_t kLength = VexaQRFrameSize::kLubyHeaderLength;

    std::uint32_t seed = 0;
    std::uint32_t totalLength = 0;
    std::uint32_t packetLength = 0;

    /// The header of `frame`; nothing when the frame is not a luby frame or is shorter than the header.
    static std::optional<LubyFrameHeader> read(const Bytes& frame);
    /// Appends the mode byte and the three numbers to `frame`.
    void appendTo(Bytes& frame) const;
    /// The whole packets of this header's length in a frame of `frameLength` (>= kLength) bytes.
    std::uint64_t packetsIn(std::size_t frameLength) const {
        return packetLength == 0 ? 0 : (frameLength - kLength) / packetLength;
    }
    /// Where packet `i` of the frame begins.
    std::size_t packetOffset(std::uint64_t i) const { return kLength + static_cast<std::size_t>(i * packetLength); }
};

} // namespace vexaqr
