// Activation: activates a registration with the code the user received; the view model carries everything the
// post-activation chain needs.
//
// The service may be called from any thread; its completion runs on the main queue (see WebService).
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/service/ConstantWebService.hpp>
#include <vexaqr/service/ResultCode.hpp>
#include <vexaqr/service/WebService.hpp>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

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

/// What the host application or a workflow supplies.
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

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string activationCode;
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::int64_t> vxaUserId;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace Activation

class ActivationDeserializer final {
public:
    Activation::ResponseModel responseModel(const nlohmann::json& json) const;
};

class ActivationServiceProtocol {
public:
    using Completion = ServiceCompletion<Activation::ResponseModel>;

    virtual ~ActivationServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void activateAccount(const Activation::RequestModel& requestModel, Completion completion) = 0;
};

class ActivationService final : public WebService, public ActivationServiceProtocol {
public:
    using WebService::WebService;

    void activateAccount(const Activation::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
