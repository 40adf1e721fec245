// Constant::JsonKey: the member names of the backend's JSON requests and replies.
#pragma once

#include <string_view>

namespace vexaqr::Constant::JsonKey {

inline constexpr std::string_view emailAddress = "emailAddress";
inline constexpr std::string_view deleteMyOtherRegistrations = "deleteMyOtherRegistrations";
inline constexpr std::string_view appUniqueId = "appUniqueId";
inline constexpr std::string_view partnerId = "partnerId";
inline constexpr std::string_view activationCode = "activationCode";
/// The outcome travels under "result", not "resultCode".
inline constexpr std::string_view resultCode = "result";
inline constexpr std::string_view vexaQrUserId = "vxaUserId";
inline constexpr std::string_view vexaQrData = "vxaData";
inline constexpr std::string_view vexaQrInfo = "vxaInfo";
inline constexpr std::string_view vexaQrTemplate = "vxaTemplate";
inline constexpr std::string_view vexaQrMessageIdList = "vxaMessageIdList";
inline constexpr std::string_view pemPublicKeyString = "pemPublicKeyString";
inline constexpr std::string_view handle = "handle";
inline constexpr std::string_view publicKey = "publicKey";
inline constexpr std::string_view platform = "platform";
inline constexpr std::string_view notificationId = "notificationId";

} // namespace vexaqr::Constant::JsonKey
