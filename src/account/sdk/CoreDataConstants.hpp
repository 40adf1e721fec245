// Names of the object store: its model and its two entities.
#pragma once

#include <string_view>

namespace vexaqr::Constant::CoreData {

inline constexpr std::string_view modelName = "VexaQrSDKModel";

namespace EntityName {
inline constexpr std::string_view sdkData = "SDKData";
inline constexpr std::string_view vxaMessage = "CachedVxaMessage";
} // namespace EntityName

} // namespace vexaqr::Constant::CoreData

namespace vexaqr::Constant::ApplicationDataKey {
/// Kept for hosts that know it; the state itself lives only in the settings record.
inline constexpr std::string_view registrationState = "VexaQrRegistrationStateKey";
} // namespace vexaqr::Constant::ApplicationDataKey
