// Showing bytes that should be UTF-8 as text, for log lines.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <string>

namespace vexaqr {

/// `bytes` as UTF-8 text, each byte that is not part of a well-formed sequence replaced by U+FFFD.
std::string utf8WithReplacements(const Bytes& bytes);

} // namespace vexaqr
