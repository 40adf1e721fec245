// RegisterPushNotification: registers the device's push handle with the backend.
//
// The service may be called from any thread; its completion runs on the main queue (see WebService).
#pragma once

#include "account/service/ConstantWebService.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Bytes.hpp>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

namespace RegisterPushNotification {

/// What the host application or a workflow supplies.
struct ViewModel {
    std::string partnerId;
    std::string notificationId;
    std::string handle;
};

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string partnerId;
    std::string appUniqueId;
    std::string notificationId;
    std::string handle;
    std::string platform = std::string(Constant::Application::pushNotificationType);

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace RegisterPushNotification

class RegisterPushNotificationDeserializer final {
public:
    RegisterPushNotification::ResponseModel responseModel(const nlohmann::json& json) const;
};

class RegisterPushNotificationServiceProtocol {
public:
    using Completion = ServiceCompletion<RegisterPushNotification::ResponseModel>;

    virtual ~RegisterPushNotificationServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void registerPushNotification(const RegisterPushNotification::RequestModel& requestModel,
                                          Completion completion) = 0;
};

class RegisterPushNotificationService final : public WebService, public RegisterPushNotificationServiceProtocol {
public:
    using WebService::WebService;

    void registerPushNotification(const RegisterPushNotification::RequestModel& requestModel,
                                  Completion completion) override;
};

} // namespace vexaqr
