// Constant::WebService: the numbers every backend exchange shares.
#pragma once

#include <vexaqr/service/AccountTypes.hpp> // missingResultCode

namespace vexaqr::Constant::WebService {

/// Timeout of every backend request, in seconds.
inline constexpr double defaultTimeoutInterval = 30.0;

} // namespace vexaqr::Constant::WebService
