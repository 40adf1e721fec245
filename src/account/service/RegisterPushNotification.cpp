#include "account/service/RegisterPushNotification.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json RegisterPushNotification::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::partnerId), partnerId},
            {std::string(JsonKey::appUniqueId), appUniqueId},
            {std::string(JsonKey::notificationId), notificationId},
            {std::string(JsonKey::handle), handle},
            {std::string(JsonKey::platform), platform}};
}

std::string RegisterPushNotification::ResponseModel::description() const {
    return "(\nresultCode: " + std::to_string(resultCode) + "\n)";
}

RegisterPushNotification::ResponseModel
RegisterPushNotificationDeserializer::responseModel(const nlohmann::json& json) const {
    RegisterPushNotification::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    return record;
}

void RegisterPushNotificationService::registerPushNotification(
    const RegisterPushNotification::RequestModel& requestModel, Completion completion) {
    process(requestModel, urlProvider().registerPushNotificationUrl(), RegisterPushNotificationDeserializer{},
            std::move(completion));
}

} // namespace vexaqr
