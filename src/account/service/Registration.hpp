// Registration: registers the application user (e-mail address and partner id) under a new application id.
// The view model and the record are in AccountTypes.hpp.
//
// The service may be called from any thread; its completion runs on the main queue (see WebService).
#pragma once

#include "account/service/ConstantWebService.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/service/AccountTypes.hpp>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

namespace Registration {

/// Four members, five when `activationCode` is present.
struct RequestModel {
    std::string emailAddress;
    std::string partnerId;
    bool isForceRegistration = false;
    std::optional<std::string> activationCode;
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
};

} // namespace Registration

class RegistrationDeserializer final {
public:
    Registration::ResponseModel responseModel(const nlohmann::json& json) const;
};

class RegistrationServiceProtocol {
public:
    using Completion = ServiceCompletion<Registration::ResponseModel>;

    virtual ~RegistrationServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void registerAccount(const Registration::RequestModel& requestModel, Completion completion) = 0;
};

class RegistrationService final : public WebService, public RegistrationServiceProtocol {
public:
    using WebService::WebService;

    void registerAccount(const Registration::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
