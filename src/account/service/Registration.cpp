#include "account/service/Registration.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json Registration::RequestModel::toJsonDictionary() const {
    nlohmann::json body = {{std::string(JsonKey::emailAddress), emailAddress},
                           {std::string(JsonKey::partnerId), partnerId},
                           {std::string(JsonKey::deleteMyOtherRegistrations), isForceRegistration},
                           {std::string(JsonKey::appUniqueId), appUniqueId}};
    if (activationCode) {
        body[std::string(JsonKey::activationCode)] = *activationCode;
    }
    return body;
}

std::string Registration::ResponseModel::description() const {
    return Describe::record(resultCode, " \nvxaUserId:" + Describe::optional(vxaUserId));
}

Registration::ResponseModel RegistrationDeserializer::responseModel(const nlohmann::json& json) const {
    Registration::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.vxaUserId = ReplyFields::integer(json, JsonKey::vexaQrUserId);
    return record;
}

void RegistrationService::registerAccount(const Registration::RequestModel& requestModel, Completion completion) {
    process(requestModel, urlProvider().registerAccountUrl(), RegistrationDeserializer{}, std::move(completion));
}

} // namespace vexaqr
