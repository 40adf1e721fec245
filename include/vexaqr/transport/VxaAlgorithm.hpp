// The transport mode of an animated QR code; the numbers are also the frames' first (mode) byte.
#pragma once

#include <cstdint>
#include <string_view>

namespace vexaqr {

enum class VxaAlgorithm : std::uint8_t {
    luby = 1,   // LT fountain-coded packets
    cyclic = 2, // numbered blocks shown in a loop
};

/// "luby" or "cyclic".
constexpr std::string_view nameOf(VxaAlgorithm algorithm) {
    return algorithm == VxaAlgorithm::luby ? "luby" : "cyclic";
}

} // namespace vexaqr
