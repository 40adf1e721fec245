// UpdateKeys: uploads the application's RSA public key as PEM text.
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

namespace UpdateKeys {

/// Nothing to supply.
struct ViewModel {};

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;
    std::string pemPublicKeyString;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace UpdateKeys

class UpdateKeysDeserializer final {
public:
    UpdateKeys::ResponseModel responseModel(const nlohmann::json& json) const;
};

class UpdateKeysServiceProtocol {
public:
    using Completion = ServiceCompletion<UpdateKeys::ResponseModel>;

    virtual ~UpdateKeysServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void updateKeys(const UpdateKeys::RequestModel& requestModel, Completion completion) = 0;
};

class UpdateKeysService final : public WebService, public UpdateKeysServiceProtocol {
public:
    using WebService::WebService;

    void updateKeys(const UpdateKeys::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
