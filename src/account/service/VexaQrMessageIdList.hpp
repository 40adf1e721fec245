// VexaQrMessageIdList: lists the ids of the payload messages the backend keeps for the application.
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

namespace VexaQrMessageIdList {

/// The request; its JSON body has exactly the members listed in toJsonDictionary().
struct RequestModel {
    std::string appUniqueId;

    nlohmann::json toJsonDictionary() const;
};

struct ResponseModel {
    std::int64_t resultCode = Constant::WebService::missingResultCode;
    std::optional<std::vector<std::string>> vxaMessageIdList; // absent as a whole when any element is not a string

    Constant::Application::ResultCode result() const { return Constant::Application::resultFromRawValue(resultCode); }
    std::string description() const;
};

} // namespace VexaQrMessageIdList

class VexaQrMessageIdListDeserializer final {
public:
    VexaQrMessageIdList::ResponseModel responseModel(const nlohmann::json& json) const;
};

class VexaQrMessageIdListServiceProtocol {
public:
    using Completion = ServiceCompletion<VexaQrMessageIdList::ResponseModel>;

    virtual ~VexaQrMessageIdListServiceProtocol() = default;

    /// Returns at once; `completion` later receives the record or the error on the main queue.
    virtual void getVexaQrMessageIdList(const VexaQrMessageIdList::RequestModel& requestModel,
                                        Completion completion) = 0;
};

class VexaQrMessageIdListService final : public WebService, public VexaQrMessageIdListServiceProtocol {
public:
    using WebService::WebService;

    void getVexaQrMessageIdList(const VexaQrMessageIdList::RequestModel& requestModel, Completion completion) override;
};

} // namespace vexaqr
