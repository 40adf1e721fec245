// GetPublicKeyOfPartner: fetches the partner's RSA public key as PEM text.
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

namespace GetPublicKeyOfPartner {

/// Nothing to supply.
struct ViewModel {};

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::string> publicKey; // PEM text, untrimmed

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace GetPublicKeyOfPartner

class GetPublicKeyOfPartnerDeserializer final {
public:
    GetPublicKeyOfPartner::ResponseModel responseModel(const nlohmann::json& json) const;
};

class GetPublicKeyOfPartnerServiceProtocol {
public:
    using Completion = ServiceCompletion<GetPublicKeyOfPartner::ResponseModel>;

    virtual ~GetPublicKeyOfPartnerServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void getPublicKeyOfPartner(const GetPublicKeyOfPartner::RequestModel& requestModel,
                                       Completion completion) = 0;
};

class GetPublicKeyOfPartnerService final : public WebService, public GetPublicKeyOfPartnerServiceProtocol {
public:
    using WebService::WebService;

    void getPublicKeyOfPartner(const GetPublicKeyOfPartner::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
