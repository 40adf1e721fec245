// Strict base-64 decoding of reply members.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <optional>
#include <string_view>

namespace vexaqr {

/// The bytes of `text` in the standard alphabet with "=" padding: the length must be a multiple of four,
/// padding may only end the text, and no other character (line breaks, blanks, "-", "_") is tolerated.
/// Non-zero pad bits are accepted. Nothing when `text` does not decode.
std::optional<Bytes> decodeStrictBase64(std::string_view text);

} // namespace vexaqr
