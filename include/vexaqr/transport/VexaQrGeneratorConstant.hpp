// The constants of the frame generators (group Constant::VexaQrGenerator).
#pragma once

#include <cstdint>

namespace vexaqr::Constant::VexaQrGenerator {

/// Packets in one LT frame.
inline constexpr int ltPacketsPerQr = 73;
/// LT packet length in bytes.
inline constexpr unsigned int ltPacketLength = 8;
/// Mode byte of LT frames.
inline constexpr std::uint8_t ltCodingFirstByte = 1;
/// Mode byte of cyclic frames.
inline constexpr std::uint8_t cyclicCodingFirstByte = 2;

} // namespace vexaqr::Constant::VexaQrGenerator
