#include "account/service/VexaQrMessage.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json VexaQrMessage::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId}, {std::string(JsonKey::activationCode), vxaMessageId}};
}

std::string VexaQrMessage::ResponseModel::description() const {
    return Describe::record(resultCode, " \nvxaData:" + Describe::optional(vxaData) +
                                            "\nvxaInfo:" + Describe::optional(vxaInfo) +
                                            "\nvxaTemplate:" + Describe::optional(vxaTemplate));
}

VexaQrMessage::ResponseModel VexaQrMessageDeserializer::responseModel(const nlohmann::json& json) const {
    VexaQrMessage::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.vxaData = ReplyFields::base64Data(json, JsonKey::vexaQrData);
    record.vxaInfo = ReplyFields::text(json, JsonKey::vexaQrInfo);
    record.vxaTemplate = ReplyFields::text(json, JsonKey::vexaQrTemplate);
    return record;
}

void VexaQrMessageService::getVexaQrMessage(const VexaQrMessage::RequestModel& requestModel, Completion completion) {
    process(requestModel, urlProvider().getVexaQrMessageUrl(requestModel.vxaMessageId), VexaQrMessageDeserializer{},
            std::move(completion));
}

} // namespace vexaqr
