// Activation: activates a registration with the code the user received. The view model and the record are
// in AccountTypes.hpp.
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

namespace Activation {

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string activationCode;
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
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
