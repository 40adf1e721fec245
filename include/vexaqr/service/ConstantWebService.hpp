// Constant::WebService: the numbers every backend exchange shares.
#pragma once

#include <cstdint>

namespace vexaqr::Constant::WebService {

/// Timeout of every backend request, in seconds.
inline constexpr double defaultTimeoutInterval = 30.0;

/// The `resultCode` a decoder records when a reply carries no integral "result".
inline constexpr std::int64_t missingResultCode = -1;

} // namespace vexaqr::Constant::WebService
