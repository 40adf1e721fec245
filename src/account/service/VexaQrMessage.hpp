// VexaQrMessage: fetches one payload message. The id ends the address and also travels in the body under
// "activationCode".
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

namespace VexaQrMessage {

/// What the host application or a workflow supplies.
struct ViewModel {
    std::string vxaMessageId;
};

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;
    std::string vxaMessageId;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<Bytes> vxaData; // a payload record, from strict base-64; not checked here
    std::optional<std::string> vxaInfo;
    std::optional<std::string> vxaTemplate;

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace VexaQrMessage

class VexaQrMessageDeserializer final {
public:
    VexaQrMessage::ResponseModel responseModel(const nlohmann::json& json) const;
};

class VexaQrMessageServiceProtocol {
public:
    using Completion = ServiceCompletion<VexaQrMessage::ResponseModel>;

    virtual ~VexaQrMessageServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void getVexaQrMessage(const VexaQrMessage::RequestModel& requestModel, Completion completion) = 0;
};

class VexaQrMessageService final : public WebService, public VexaQrMessageServiceProtocol {
public:
    using WebService::WebService;

    void getVexaQrMessage(const VexaQrMessage::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
