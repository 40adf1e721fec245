// DeleteAllVexaQrMessage: deletes every payload message kept for the application.
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

namespace DeleteAllVexaQrMessage {

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
};

} // namespace DeleteAllVexaQrMessage

class DeleteAllVexaQrMessageDeserializer final {
public:
    DeleteAllVexaQrMessage::ResponseModel responseModel(const nlohmann::json& json) const;
};

class DeleteAllVexaQrMessageServiceProtocol {
public:
    using Completion = ServiceCompletion<DeleteAllVexaQrMessage::ResponseModel>;

    virtual ~DeleteAllVexaQrMessageServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void deleteAllVexaQrMessage(const DeleteAllVexaQrMessage::RequestModel& requestModel,
                                        Completion completion) = 0;
};

class DeleteAllVexaQrMessageService final : public WebService, public DeleteAllVexaQrMessageServiceProtocol {
public:
    using WebService::WebService;

    void deleteAllVexaQrMessage(const DeleteAllVexaQrMessage::RequestModel& requestModel,
                                Completion completion) override;
};

} // namespace vexaqr
