// DeleteVexaQrMessage: deletes one payload message. The id travels only in the address.
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

namespace DeleteVexaQrMessage {

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;
    std::string vxaMessageId;

    nlohmann::json toJsonDictionary() const;
};

} // namespace DeleteVexaQrMessage

class DeleteVexaQrMessageDeserializer final {
public:
    DeleteVexaQrMessage::ResponseModel responseModel(const nlohmann::json& json) const;
};

class DeleteVexaQrMessageServiceProtocol {
public:
    using Completion = ServiceCompletion<DeleteVexaQrMessage::ResponseModel>;

    virtual ~DeleteVexaQrMessageServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void deleteVexaQrMessage(const DeleteVexaQrMessage::RequestModel& requestModel, Completion completion) = 0;
};

class DeleteVexaQrMessageService final : public WebService, public DeleteVexaQrMessageServiceProtocol {
public:
    using WebService::WebService;

    void deleteVexaQrMessage(const DeleteVexaQrMessage::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
