// Standard base64 (RFC 4648 alphabet with '=' padding), strict on input.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vexaqr::base64 {

/// Encodes without line breaks.
std::string encode(std::span<const std::uint8_t> bytes);

/// Decodes text made only of alphabet characters and final padding, its length a multiple of 4;
/// nothing for anything else, white space and line breaks included.
std::optional<Bytes> decode(std::string_view text);

} // namespace vexaqr::base64
