#include "account/service/Activation.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json Activation::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::activationCode), activationCode}, {std::string(JsonKey::appUniqueId), appUniqueId}};
}

std::string Activation::ResponseModel::description() const {
    return Describe::record(resultCode, " \nvxaUserId:" + Describe::optional(vxaUserId));
}

Activation::ResponseModel ActivationDeserializer::responseModel(const nlohmann::json& json) const {
    Activation::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.vxaUserId = ReplyFields::integer(json, JsonKey::vexaQrUserId);
    return record;
}

void ActivationService::activateAccount(const Activation::RequestModel& requestModel, Completion completion) {
    process(requestModel, urlProvider().activateAccountUrl(), ActivationDeserializer{}, std::move(completion));
}

} // namespace vexaqr
