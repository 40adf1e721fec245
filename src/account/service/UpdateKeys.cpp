#include "account/service/UpdateKeys.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json UpdateKeys::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId},
            {std::string(JsonKey::pemPublicKeyString), pemPublicKeyString}};
}

std::string UpdateKeys::ResponseModel::description() const {
    return Describe::record(resultCode);
}

UpdateKeys::ResponseModel UpdateKeysDeserializer::responseModel(const nlohmann::json& json) const {
    UpdateKeys::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    return record;
}

void UpdateKeysService::updateKeys(const UpdateKeys::RequestModel& requestModel, Completion completion) {
    process(requestModel, urlProvider().updateKeysUrl(), UpdateKeysDeserializer{}, std::move(completion));
}

} // namespace vexaqr
