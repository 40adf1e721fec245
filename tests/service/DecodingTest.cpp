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

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using Constant::Application::ResultCode;
using nlohmann::json;

Registration::ResponseModel registration(const std::string& text) {
    return RegistrationDeserializer{}.responseModel(json::parse(text));
}

VexaQrMessage::ResponseModel message(const json& reply) {
    return VexaQrMessageDeserializer{}.responseModel(reply);
}

TEST(DecodingTest, ResultAndIntegersAreTakenOnlyFromIntegralNumbers) {
    EXPECT_EQ(registration(R"({"result": 0, "vxaUserId": 17})").vxaUserId, 17);
    EXPECT_EQ(registration(R"({"result": 0, "vxaUserId": 17.0})").vxaUserId, 17);
    EXPECT_EQ(registration(R"({"result": 0, "vxaUserId": -5})").vxaUserId, -5);
    for (const auto* mistyped : {R"("17")", "17.5", "true", "null", "[17]", "18446744073709551615", "1e300"}) {
        EXPECT_FALSE(registration(std::string(R"({"result": 0, "vxaUserId": )") + mistyped + "}").vxaUserId)
            << mistyped;
        EXPECT_EQ(registration(std::string(R"({"result": )") + mistyped + "}").resultCode, -1) << mistyped;
    }
    EXPECT_EQ(registration(R"({"result": 14105})").result(), ResultCode::appAlreadyRegistered);
    EXPECT_EQ(registration(R"({"result": -9223372036854775808})").resultCode, INT64_MIN);
}

TEST(DecodingTest, UnknownResultCodesAreKeptButReadAsUnknown) {
    const auto record = registration(R"({"result": 14002})");
    EXPECT_EQ(record.resultCode, 14002);
    EXPECT_EQ(record.result(), ResultCode::unknownResultCode);
}

TEST(DecodingTest, TextsAreTakenOnlyFromStringsAndUntrimmed) {
    const auto key = GetPublicKeyOfPartnerDeserializer{}.responseModel(json::parse(R"({"publicKey": " K\n"})"));
    EXPECT_EQ(key.publicKey, " K\n");
    EXPECT_FALSE(GetPublicKeyOfPartnerDeserializer{}.responseModel(json::parse(R"({"publicKey": 5})")).publicKey);
    EXPECT_FALSE(
        GetNotificationIdDeserializer{}.responseModel(json::parse(R"({"notificationId": ["N"]})")).notificationId);
    const auto parts = message(json::parse(R"({"vxaInfo": {}, "vxaTemplate": ""})"));
    EXPECT_FALSE(parts.vxaInfo);
    EXPECT_EQ(parts.vxaTemplate, "");
}

TEST(DecodingTest, MessageIdListMustHoldStringsOnly) {
    auto list = [](const std::string& value) {
        return VexaQrMessageIdListDeserializer{}
            .responseModel(json::parse(R"({"result": 0, "vxaMessageIdList": )" + value + "}"))
            .vxaMessageIdList;
    };
    EXPECT_EQ(list(R"(["b", "a"])"), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(list("[]"), std::vector<std::string>{});
    EXPECT_FALSE(list(R"(["a", 5])"));
    EXPECT_FALSE(list(R"(["a", null])"));
    EXPECT_FALSE(list(R"("a")"));
}

TEST(DecodingTest, NonObjectRepliesHaveEveryMemberAbsent) {
    for (const auto* text : {R"([{"result": 0, "vxaData": "AAEC"}])", "0", R"("result")", "null", "true"}) {
        const auto record = message(json::parse(text));
        EXPECT_EQ(record.resultCode, -1) << text;
        EXPECT_FALSE(record.vxaData || record.vxaInfo || record.vxaTemplate) << text;
    }
}

TEST(DecodingTest, VxaDataIsStrictBase64AgainstPublishedVectors) {
    std::ifstream file(std::string(VEXAQR_TEST_DATA_DIR) + "/rfc/base64_hmac_sha256_vectors.json");
    const auto vectors = json::parse(file);
    auto bytesOfHex = [](const std::string& hex) {
        Bytes bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    };
    int checked = 0;
    for (const auto* group : {"base64_rfc4648_section10", "base64_derived_valid"}) {
        for (const auto& entry : vectors[group]) {
            const auto text = entry["base64"].get<std::string>();
            EXPECT_EQ(message({{"vxaData", text}}).vxaData, bytesOfHex(entry["inputHex"].get<std::string>())) << text;
            ++checked;
        }
    }
    for (const auto& entry : vectors["base64_derived_invalid_must_reject"]) {
        const auto text = entry["base64"].get<std::string>();
        EXPECT_FALSE(message({{"vxaData", text}}).vxaData) << text;
        ++checked;
    }
    // Non-zero pad bits are accepted, as lenient platform decoders do.
    for (const auto& entry : vectors["base64_noncanonical_may_reject"]) {
        EXPECT_EQ(message({{"vxaData", entry["base64"]}}).vxaData, toBytes(entry["decodesTo"].get<std::string>()));
        ++checked;
    }
    EXPECT_EQ(checked, 21);
    for (const auto* broken : {"AAEC\n", "\nAAEC", "AA\r\nEC", "A===", "====", "AAE", "AAECAA=A"}) {
        EXPECT_FALSE(message({{"vxaData", broken}}).vxaData) << broken;
    }
    EXPECT_FALSE(message({{"vxaData", 5}}).vxaData);
}

TEST(DescriptionTest, RecordsWithoutFurtherFieldsPrintFourLines) {
    const auto record = UpdateKeysDeserializer{}.responseModel(json::parse(R"({"result": 0})"));
    EXPECT_EQ(record.description(), "(\nresult: Successful operation\nresultCode: 0\n)");
    EXPECT_EQ(DeleteVexaQrMessageDeserializer{}.responseModel(json::object()).description(),
              "(\nresult: Unknown result code\nresultCode: -1\n)");
    EXPECT_EQ(DeleteAllVexaQrMessageDeserializer{}.responseModel(json::parse(R"({"result": 14009})")).description(),
              "(\nresult: VXA Message not found\nresultCode: 14009\n)");
}

TEST(DescriptionTest, FurtherFieldsRenderAsOptionalValues) {
    EXPECT_EQ(registration(R"({"result": 0, "vxaUserId": 17})").description(),
              "(\nresult: Successful operation\nresultCode: 0 \nvxaUserId:17\n)");
    EXPECT_EQ(ActivationDeserializer{}.responseModel(json::parse(R"({"result": 14106})")).description(),
              "(\nresult: Activation code is invalid\nresultCode: 14106 \nvxaUserId:nil\n)");
    EXPECT_EQ(GetPublicKeyOfPartnerDeserializer{}.responseModel(json::parse(R"({"publicKey": "A\nB"})")).description(),
              "(\nresult: Unknown result code\nresultCode: -1 \npublicKey:\"A\\nB\"\n)");
    EXPECT_EQ(GetNotificationIdDeserializer{}.responseModel(json::parse(R"({"result": 0})")).description(),
              "(\nresult: Successful operation\nresultCode: 0 \nnotificationId:nil\n)");
    EXPECT_EQ(VexaQrMessageIdListDeserializer{}
                  .responseModel(json::parse(R"({"result": 0, "vxaMessageIdList": ["a", "b"]})"))
                  .description(),
              "(\nresult: Successful operation\nresultCode: 0 \nvxaMessageIdList:[\"a\", \"b\"]\n)");
    EXPECT_EQ(message(json::parse(R"({"result": 0, "vxaData": "AAEC", "vxaTemplate": "t"})")).description(),
              "(\nresult: Successful operation\nresultCode: 0 \nvxaData:3 bytes\nvxaInfo:nil\nvxaTemplate:\"t\"\n)");
}

TEST(DescriptionTest, PushRegistrationHasNoResultLine) {
    EXPECT_EQ(RegisterPushNotificationDeserializer{}.responseModel(json::parse(R"({"result": 0})")).description(),
              "(\nresultCode: 0\n)");
}

TEST(RequestModelTest, RegistrationMembersAndTheirJsonTypes) {
    Registration::RequestModel request{"e", "p", true, std::nullopt, "APP"};
    auto body = request.toJsonDictionary();
    EXPECT_EQ(body.size(), 4u);
    EXPECT_TRUE(body["deleteMyOtherRegistrations"].is_boolean());
    request.activationCode = "C";
    body = request.toJsonDictionary();
    EXPECT_EQ(body.size(), 5u);
    EXPECT_EQ(body["activationCode"], "C");
    EXPECT_EQ(RegisterPushNotification::RequestModel{}.toJsonDictionary()["platform"], "1");
    EXPECT_EQ(GetNotificationId::ViewModel("partner", "handle").partnerId, "partner");
}

} // namespace
} // namespace vexaqr
