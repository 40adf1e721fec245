// Uuid: a 128-bit universally unique identifier, its 16 bytes in their standard order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    /// A new random (version 4, RFC 4122 variant) identifier from the cryptographic generator;
    /// nothing when the generator fails (an identifier from weak randomness could collide).
    static std::optional<Uuid> random();

    /// Parses the 36-character form with hyphens after the 4th, 6th, 8th and 10th byte, in either
    /// letter case; nothing for any other text.
    static std::optional<Uuid> fromString(std::string_view text);

    /// The canonical text: 36 characters, upper-case hexadecimal.
    std::string uuidString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
};

} // namespace vexaqr
