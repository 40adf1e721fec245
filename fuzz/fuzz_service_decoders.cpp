// The ten reply decoders fed arbitrary bytes as a reply body: parse as the transport does, decode with every
// operation's decoder and print every record. Nothing may crash, read out of bounds or throw.
#include "account/service/ReplyJson.hpp"

#include "account/service/Activation.hpp"
#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/GetNotificationId.hpp"
#include "account/service/GetPublicKeyOfPartner.hpp"
#include "account/service/RegisterPushNotification.hpp"
#include "account/service/Registration.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"

#include <cstddef>
#include <cstdint>

namespace {

template <class Decoder> void decode(const nlohmann::json& reply) {
    const auto record = Decoder{}.responseModel(reply);
    (void)record.result();
    const auto text = record.description();
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = vexaqr::parseReplyJson(vexaqr::Bytes(data, data + size));
    if (!parsed) {
        return 0;
    }
    const nlohmann::json& reply = *parsed;
    using namespace vexaqr;
    decode<RegistrationDeserializer>(reply);
    decode<ActivationDeserializer>(reply);
    decode<UpdateKeysDeserializer>(reply);
    decode<GetPublicKeyOfPartnerDeserializer>(reply);
    decode<GetNotificationIdDeserializer>(reply);
    decode<RegisterPushNotificationDeserializer>(reply);
    decode<VexaQrMessageIdListDeserializer>(reply);
    decode<VexaQrMessageDeserializer>(reply);
    decode<DeleteVexaQrMessageDeserializer>(reply);
    decode<DeleteAllVexaQrMessageDeserializer>(reply);
    return 0;
}
