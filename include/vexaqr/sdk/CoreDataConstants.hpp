// Names of the object store: its model, its two entities and the settings record's attribute keys.
#pragma once

#include <optional>
#include <string_view>

namespace vexaqr::Constant::CoreData {

inline constexpr std::string_view modelName = "VexaQrSDKModel";

namespace EntityName {
inline constexpr std::string_view sdkData = "SDKData";
inline constexpr std::string_view vxaMessage = "CachedVxaMessage";
} // namespace EntityName

/// The attributes of the settings record ("SDKData"), in this order.
enum class AttributeKey { appUniqueId, vexaQrUserId, userEmailAddress, registrationState };

/// "appUniqueId", "vexaQrUserId", "userEmailAddress", "registrationState".
std::string_view rawValue(AttributeKey key);

/// The key whose raw value is `raw`; nothing for any other text.
std::optional<AttributeKey> attributeKeyFromRawValue(std::string_view raw);

} // namespace vexaqr::Constant::CoreData

namespace vexaqr::Constant::ApplicationDataKey {
/// Kept for hosts that know it; the state itself lives only in the settings record.
inline constexpr std::string_view registrationState = "VexaQrRegistrationStateKey";
} // namespace vexaqr::Constant::ApplicationDataKey
