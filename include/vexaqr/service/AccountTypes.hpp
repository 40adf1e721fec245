// The values the backend account's callers hand in and get back: what registration, activation and the
// message deletions take, the records their completions receive, the result codes and the completion shape.
// The services turn them into and out of JSON; this header knows nothing of the wire format.
//
// Plain values and function types; copy and use them on any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

namespace Constant::WebService {

/// The `resultCode` a decoder records when a reply carries no integral "result".
inline constexpr std::int64_t missingResultCode = -1;

} // namespace Constant::WebService

// The integers are part of the public contract: hosts receive raw values in their completions, and the
// backend sends values outside this table too, which records keep as integers.
namespace Constant::Application {

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

} // namespace Constant::Application

/// A backend call's completion: receives exactly one of the two, the decoded record or the error.
template <class Model> using ServiceCompletion = std::function<void(std::optional<Model>, std::optional<Error>)>;

namespace Activation {

/// Size of the application's RSA key pair.
enum class RsaKeySize : int {
    rsa1024 = 1024,
    rsa2048 = 2048,
};

/// The size in bits: 1024 or 2048.
constexpr int rawValue(RsaKeySize size) {
    return static_cast<int>(size);
}

/// The case for 1024 or 2048 bits; nothing for any other number.
constexpr std::optional<RsaKeySize> rsaKeySizeFromRawValue(int bits) {
    switch (bits) {
    case 1024:
        return RsaKeySize::rsa1024;
    case 2048:
        return RsaKeySize::rsa2048;
    default:
        return std::nullopt;
    }
}

/// What the host application or a workflow supplies; carries everything the post-activation chain needs.
struct ViewModel {
    std::string activationCode;
    RsaKeySize rsaKeySize;
    Bytes deviceToken; // the device's push token
    std::string notificationHubName;
    std::string notificationHubConnectionString;
    std::string partnerId;
    std::optional<std::string> partnerPublicKey;  // PEM text
    std::optional<std::string> partnerPrivateKey; // PEM text
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::int64_t> vxaUserId;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace Activation

namespace Registration {

/// What the host application or a workflow supplies.
struct ViewModel {
    std::string email;
    std::string partnerId;
    bool isForceRegistration = false;
    std::optional<Activation::ViewModel> activationData; // when present, registration also activates
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::int64_t> vxaUserId;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace Registration

namespace VexaQrMessageIdList {

/// Nothing to supply.
struct ViewModel {};

} // namespace VexaQrMessageIdList

namespace DeleteVexaQrMessage {

/// What the host application or a workflow supplies.
struct ViewModel {
    std::string vxaMessageId;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace DeleteVexaQrMessage

namespace DeleteAllVexaQrMessage {

/// Nothing to supply.
struct ViewModel {};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace DeleteAllVexaQrMessage

} // namespace vexaqr
