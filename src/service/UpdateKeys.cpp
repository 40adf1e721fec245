#include <vexaqr/service/UpdateKeys.hpp>

#include <vexaqr/service/ConstantJsonKey.hpp>

#include "service/Describe.hpp"
#include "service/ReplyFields.hpp"

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
