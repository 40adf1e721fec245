#include "account/service/GetNotificationId.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json GetNotificationId::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::partnerId), partnerId}, {std::string(JsonKey::handle), handle}};
}

std::string GetNotificationId::ResponseModel::description() const {
    return Describe::record(resultCode, " \nnotificationId:" + Describe::optional(notificationId));
}

GetNotificationId::ResponseModel GetNotificationIdDeserializer::responseModel(const nlohmann::json& json) const {
    GetNotificationId::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.notificationId = ReplyFields::text(json, JsonKey::notificationId);
    return record;
}

void GetNotificationIdService::getNotificationId(const GetNotificationId::RequestModel& requestModel,
                                                 Completion completion) {
    process(requestModel, urlProvider().getNotificationIdUrl(), GetNotificationIdDeserializer{}, std::move(completion));
}

} // namespace vexaqr
