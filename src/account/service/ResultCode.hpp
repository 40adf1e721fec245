// The outcome codes of every backend call and workflow step (declared with the account's public values in
// AccountTypes.hpp), and the constants several subsystems share.
#pragma once

#include "account/keys/KeyNaming.hpp"      // Constant::Application::rsaKeyTagPrefix
#include <vexaqr/service/AccountTypes.hpp> // ResultCode and its functions

#include <string_view>

namespace vexaqr::Constant::Application {

/// Value of the "platform" member of a push registration request.
inline constexpr std::string_view pushNotificationType = "1";

} // namespace vexaqr::Constant::Application
