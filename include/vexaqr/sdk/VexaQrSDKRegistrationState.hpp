// The installation's registration state; the raw value is what the object store keeps.
#pragma once

#include <cstdint>

namespace vexaqr {

enum class VexaQrSDKRegistrationState : std::int64_t { initial = 0, pending = 1, active = 2 };

constexpr std::int64_t rawValue(VexaQrSDKRegistrationState state) {
    return static_cast<std::int64_t>(state);
}

} // namespace vexaqr
