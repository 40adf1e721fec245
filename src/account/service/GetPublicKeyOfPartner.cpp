#include "account/service/GetPublicKeyOfPartner.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json GetPublicKeyOfPartner::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId}};
}

std::string GetPublicKeyOfPartner::ResponseModel::description() const {
    return Describe::record(resultCode, " \npublicKey:" + Describe::optional(publicKey));
}

GetPublicKeyOfPartner::ResponseModel
GetPublicKeyOfPartnerDeserializer::responseModel(const nlohmann::json& json) const {
    GetPublicKeyOfPartner::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.publicKey = ReplyFields::text(json, JsonKey::publicKey);
    return record;
}

void GetPublicKeyOfPartnerService::getPublicKeyOfPartner(const GetPublicKeyOfPartner::RequestModel& requestModel,
                                                         Completion completion) {
    process(requestModel, urlProvider().getPublicKeyOfPartnerUrl(), GetPublicKeyOfPartnerDeserializer{},
            std::move(completion));
}

} // namespace vexaqr
