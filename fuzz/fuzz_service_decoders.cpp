// The ten reply decoders fed arbitrary bytes as a reply body: parse as the transport does, decode with every
// operation's decoder and print every record. Nothing may crash, read out of bounds or throw.
#include "service/ReplyJson.hpp"

#include <vexaqr/service/Activation.hpp>
#include <vexaqr/service/DeleteAllVexaQrMessage.hpp>
#include <vexaqr/service/DeleteVexaQrMessage.hpp>
#include <vexaqr/service/GetNotificationId.hpp>
#include <vexaqr/service/GetPublicKeyOfPartner.hpp>
#include <vexaqr/service/RegisterPushNotification.hpp>
#include <vexaqr/service/Registration.hpp>
#include <vexaqr/service/UpdateKeys.hpp>
#include <vexaqr/service/VexaQrMessage.hpp>
#include <vexaqr/service/VexaQrMessageIdList.hpp>

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
