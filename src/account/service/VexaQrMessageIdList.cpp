#include "account/service/VexaQrMessageIdList.hpp"

#include "account/service/ConstantJsonKey.hpp"

#include "account/service/Describe.hpp"
#include "account/service/ReplyFields.hpp"

namespace vexaqr {

namespace JsonKey = Constant::JsonKey;

nlohmann::json VexaQrMessageIdList::RequestModel::toJsonDictionary() const {
    return {{std::string(JsonKey::appUniqueId), appUniqueId}};
}

std::string VexaQrMessageIdList::ResponseModel::description() const {
    return Describe::record(resultCode, " \nvxaMessageIdList:" + Describe::optional(vxaMessageIdList));
}

VexaQrMessageIdList::ResponseModel VexaQrMessageIdListDeserializer::responseModel(const nlohmann::json& json) const {
    VexaQrMessageIdList::ResponseModel record;
    record.resultCode = ReplyFields::resultCode(json);
    record.vxaMessageIdList = ReplyFields::textList(json, JsonKey::vexaQrMessageIdList);
    return record;
}

void VexaQrMessageIdListService::getVexaQrMessageIdList(const VexaQrMessageIdList::RequestModel& requestModel,
                                                        Completion completion) {
    process(requestModel, urlProvider().getVexaQrMessageIdListUrl(), VexaQrMessageIdListDeserializer{},
            std::move(completion));
}

} // namespace vexaqr
