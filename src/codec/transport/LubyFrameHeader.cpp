#include "codec/transport/LubyFrameHeader.hpp"

#include <vexaqr/transport/Transport.hpp>

namespace vexaqr {

namespace {

constexpr std::size_t kSeedOffset = 1;
constexpr std::size_t kTotalLengthOffset = 5;
constexpr std::size_t kPacketLengthOffset = 9;

std::uint32_t readBigEndian32(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) << 24 | static_cast<std::uint32_t>(bytes[offset + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 8 | static_cast<std::uint32_t>(bytes[offset + 3]);
}

void appendBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

} // namespace

std::optional<LubyFrameHeader> LubyFrameHeader::read(const Bytes& frame) {
    if (frame.size() < kLength || frame[0] != Constant::VexaQrGenerator::ltCodingFirstByte) {
        return std::nullopt;
    }
    return LubyFrameHeader{readBigEndian32(frame, kSeedOffset), readBigEndian32(frame, kTotalLengthOffset),
                           readBigEndian32(frame, kPacketLengthOffset)};
}

void LubyFrameHeader::appendTo(Bytes& frame) const {
    frame.push_back(Constant::VexaQrGenerator::ltCodingFirstByte);
    appendBigEndian32(frame, seed);
    appendBigEndian32(frame, totalLength);
    appendBigEndian32(frame, packetLength);
}

} // namespace vexaqr
