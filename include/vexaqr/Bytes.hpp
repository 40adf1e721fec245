// The byte buffer that frames, packets, records, exported keys and HTTP bodies travel in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr {

using Bytes = std::vector<std::uint8_t>;

/// The bytes of a text, unchanged (no encoding conversion).
inline Bytes toBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

/// The bytes as a text, unchanged (no encoding conversion).
inline std::string toString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace vexaqr
