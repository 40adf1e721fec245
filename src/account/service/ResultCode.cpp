#include "account/service/ResultCode.hpp"

#include <array>
#include <string>

namespace vexaqr::Constant::Application {

namespace {

struct ResultCodeEntry {
    ResultCode code;
    std::string_view message;
};

// Declaration order of the cases; two cases share a message on purpose.
constexpr std::array<ResultCodeEntry, 19> kResultCodes{{
    {ResultCode::unknownResultCode, "Unknown result code"},
    {ResultCode::appAlreadyActivated, "App already activated"},
    {ResultCode::partnerNotFound, "Partner not found"},
    {ResultCode::clientApplicationNotFound, "Client application not found"},
    {ResultCode::vexaQrMessageNotFound, "VXA Message not found"},
    {ResultCode::emailAddressOrVXaIdIsRequired, "Email address or vxaid specification is required"},
    {ResultCode::clientApplicationNotFound2, "Client application not found"},
    {ResultCode::partnerOrIssuerNotFound, "Partner/Issuer not found"},
    {ResultCode::appAlreadyRegistered, "App already registered"},
    {ResultCode::activationCodeIsInvalid, "Activation code is invalid"},
    {ResultCode::registrationNotFoundToActivate, "Registration not found to activate"},
    {ResultCode::serverTechnicalError, "Server technical error"},
    {ResultCode::successfulOperation, "Successful operation"},
    {ResultCode::clientKeyGenerationError, "Client key generation error"},
    {ResultCode::clientKeyPersistError, "Client key persist error"},
    {ResultCode::clientKeyFormatError, "Client key format error"},
    {ResultCode::partnerKeyPersistError, "Partner key persist error"},
    {ResultCode::hubSetupError, "Hub setup error"},
    {ResultCode::sdkTechnicalError, "SDK technical error"},
}};

} // namespace

std::optional<ResultCode> resultCodeFromRawValue(std::int64_t raw) {
    for (const auto& entry : kResultCodes) {
        if (rawValue(entry.code) == raw) {
            return entry.code;
        }
    }
    return std::nullopt;
}

ResultCode resultFromRawValue(std::int64_t raw) {
    return resultCodeFromRawValue(raw).value_or(ResultCode::unknownResultCode);
}

std::string_view description(ResultCode code) {
    for (const auto& entry : kResultCodes) {
        if (entry.code == code) {
            return entry.message;
        }
    }
    return description(ResultCode::unknownResultCode);
}

Error makeSdkError(ResultCode code) {
    return Error{std::string(errorDomain), rawValue(code), std::string(description(code))};
}

} // namespace vexaqr::Constant::Application
