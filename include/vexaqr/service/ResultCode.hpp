// The outcome codes of every backend call and workflow step, and the constants several subsystems share.
//
// The integers are part of the public contract: hosts receive raw values in their completions, and the
// backend sends values outside this table too, which records keep as integers.
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/payload/KeyNaming.hpp> // Constant::Application::rsaKeyTagPrefix

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexaqr::Constant::Application {

/// Value of the "platform" member of a push registration request.
inline constexpr std::string_view pushNotificationType = "1";

/// Domain of the error values that accompany SDK-side result codes.
inline constexpr std::string_view errorDomain = "VXASDK";

enum class ResultCode : std::int64_t {
    unknownResultCode = -1,
    appAlreadyActivated = 14001,
    partnerNotFound = 14003,
    clientApplicationNotFound = 14008,
    vexaQrMessageNotFound = 14009,
    emailAddressOrVXaIdIsRequired = 14101,
    clientApplicationNotFound2 = 14102,
    partnerOrIssuerNotFound = 14103,
    appAlreadyRegistered = 14105,
    activationCodeIsInvalid = 14106,
    registrationNotFoundToActivate = 14107,
    serverTechnicalError = 14900,
    successfulOperation = 0,
    clientKeyGenerationError = -100,
    clientKeyPersistError = -101,
    clientKeyFormatError = 102,
    partnerKeyPersistError = 110,
    hubSetupError = 210,
    sdkTechnicalError = -999,
};

/// The case's integer.
constexpr std::int64_t rawValue(ResultCode code) {
    return static_cast<std::int64_t>(code);
}

/// The case whose integer is `raw`, or nothing for an integer outside the table.
std::optional<ResultCode> resultCodeFromRawValue(std::int64_t raw);

/// The case whose integer is `raw`, or `unknownResultCode` for an integer outside the table
/// (how a response record's `result` reads its received `resultCode`).
ResultCode resultFromRawValue(std::int64_t raw);

/// The case's message, e.g. "Successful operation".
std::string_view description(ResultCode code);

/// The error that accompanies an SDK-side failure: domain "VXASDK", code = the case's integer.
Error makeSdkError(ResultCode code);

} // namespace vexaqr::Constant::Application
