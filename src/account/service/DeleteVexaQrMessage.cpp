#include "account/service/DeleteVexaQrMessage.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json DeleteVexaQrMessage::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId}};
}

std::string DeleteVexaQrMessage::ResponseModel::description() const {
    return Describe::record(resultCode);
}

DeleteVexaQrMessage::ResponseModel DeleteVexaQrMessageDeserializer::responseModel(const nlohmann::json& json) const {
    DeleteVexaQrMessage::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    return record;
}

void DeleteVexaQrMessageService::deleteVexaQrMessage(const DeleteVexaQrMessage::RequestModel& requestModel,
                                                     Completion completion) {
    process(requestModel, urlProvider().deleteVexaQrMessageUrl(requestModel.vxaMessageId),
            DeleteVexaQrMessageDeserializer{}, std::move(completion));
}

} // namespace vexaqr
