// Where the devserver's two groups of endpoints live below its origin.
#pragma once

#include <string_view>

namespace vexaqr::devserver {

/// The client endpoints' prefix; the SDK's default base address ends in it.
inline constexpr std::string_view kClientApiPath = "/api/v1/client";

/// Prefix of the loopback-only administration endpoints.
inline constexpr std::string_view kAdminPath = "/admin";

} // namespace vexaqr::devserver
