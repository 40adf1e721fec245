#include "account/service/DeleteAllVexaQrMessage.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json DeleteAllVexaQrMessage::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId}};
}

std::string DeleteAllVexaQrMessage::ResponseModel::description() const {
    return Describe::record(resultCode);
}

DeleteAllVexaQrMessage::ResponseModel
DeleteAllVexaQrMessageDeserializer::responseModel(const nlohmann::json& json) const {
    DeleteAllVexaQrMessage::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    return record;
}

void DeleteAllVexaQrMessageService::deleteAllVexaQrMessage(const DeleteAllVexaQrMessage::RequestModel& requestModel,
                                                           Completion completion) {
    process(requestModel, urlProvider().deleteAllVexaQrMessageUrl(), DeleteAllVexaQrMessageDeserializer{},
            std::move(completion));
}

} // namespace vexaqr
