// GetNotificationId: obtains the backend's push notification id for a device handle.
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

namespace GetNotificationId {

/// What the host application or a workflow supplies.
struct ViewModel {
    ViewModel(std::string partnerId, std::string handle) : handle(std::move(handle)), partnerId(std::move(partnerId)) {}

    std::string handle;
    std::string partnerId;
};

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string partnerId;
    std::string handle;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::string> notificationId;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace GetNotificationId

class GetNotificationIdDeserializer final {
public:
    GetNotificationId::ResponseModel responseModel(const nlohmann::json& json) const;
};

class GetNotificationIdServiceProtocol {
public:
    using Completion = ServiceCompletion<GetNotificationId::ResponseModel>;

    virtual ~GetNotificationIdServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void getNotificationId(const GetNotificationId::RequestModel& requestModel, Completion completion) = 0;
};

class GetNotificationIdService final : public WebService, public GetNotificationIdServiceProtocol {
public:
    using WebService::WebService;

    void getNotificationId(const GetNotificationId::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
