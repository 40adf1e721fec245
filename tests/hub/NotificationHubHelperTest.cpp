#include "hub/HubTestSupport.hpp"

#include "account/hub/HubConnectionString.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include <vexaqr/hub/HubRegistration.hpp>

#include <gtest/gtest.h>

#include <thread>

namespace vexaqr::test {
namespace {

using Helper = NotificationHubHelper;

TEST(NotificationHubHelperTest, ConnectionStringKeepsSemicolonsInsideValuesAndNormalisesTheEndpoint) {
    const auto parsed = Helper::parseConnectionString(
        "Endpoint=sb://demo-ns.example.net;SharedAccessKeyName=Full;SharedAccessKey=ab;cd=ef;STSEndpoint=sb://"
        "sts.example.net");
    EXPECT_EQ(parsed.at("endpoint"), "https://demo-ns.example.net/");
    EXPECT_EQ(parsed.at("sharedaccesskeyname"), "Full");
    EXPECT_EQ(parsed.at("sharedaccesskey"), "ab;cd=ef");
    EXPECT_EQ(parsed.at("stsendpoint"), "sb://sts.example.net");
    EXPECT_EQ(parsed.size(), 4u);
}

TEST(NotificationHubHelperTest, ConnectionStringStopsAtAnEntryWithoutEquals) {
    // Only a leading piece can stand alone without "=": any later one continues the value before it.
    EXPECT_TRUE(Helper::parseConnectionString("Endpoint;SharedAccessKeyName=Full;SharedAccessKey=k").empty());
    EXPECT_TRUE(Helper::parseConnectionString("").empty());
    const auto parsed = Helper::parseConnectionString("SharedAccessKeyName=Full;Endpoint;SharedAccessKey=k;Junk");
    EXPECT_EQ(parsed.at("sharedaccesskeyname"), "Full;Endpoint");
    EXPECT_EQ(parsed.at("sharedaccesskey"), "k;Junk");
}

TEST(NotificationHubHelperTest, ConnectionStringKeysIgnoreCaseAndLaterEntriesWin) {
    const auto parsed = Helper::parseConnectionString("ENDPOINT=https://a.example.net/;endpoint=b.example.net;"
                                                      "SharedSecretValue=c2VjcmV0;Custom=1");
    EXPECT_EQ(parsed.at("endpoint"), "https://b.example.net/");
    EXPECT_EQ(parsed.at("sharedsecretvalue"), "c2VjcmV0;Custom=1") << "an unknown key continues the value";
    EXPECT_EQ(Helper::parseConnectionString("Custom=1;Endpoint=x").at("custom"), "1")
        << "a leading unknown key is kept";
}

TEST(NotificationHubHelperTest, EndpointSchemeBecomesHttpsExceptForAHubOnThisMachine) {
    EXPECT_EQ(Helper::parseConnectionString("Endpoint=http://demo.example.net/x").at("endpoint"),
              "https://demo.example.net/x/");
    EXPECT_EQ(Helper::parseConnectionString("Endpoint=http://127.0.0.1:8080/hub/").at("endpoint"),
              "http://127.0.0.1:8080/hub/");
    EXPECT_EQ(Helper::parseConnectionString("Endpoint=sb://localhost:8080/hub").at("endpoint"),
              "https://localhost:8080/hub/");
}

TEST(NotificationHubHelperTest, ModifyEndpointReplacesOrAddsTheScheme) {
    EXPECT_EQ(Helper::modifyEndpoint("sb://ns.example.net", "https"), "https://ns.example.net/");
    EXPECT_EQ(Helper::modifyEndpoint("ns.example.net/", "sb"), "sb://ns.example.net/");
    EXPECT_EQ(Helper::modifyEndpoint("https://ns.example.net/", "sb"), "sb://ns.example.net/");
}

TEST(NotificationHubHelperTest, UrlEncodingMatchesTheIndependentVectors) {
    const auto vectors = hubVectors();
    ASSERT_TRUE(vectors.contains("urlEncodings"));
    for (const auto& vector : vectors["urlEncodings"]) {
        const std::string text = vector["text"];
        EXPECT_EQ(Helper::urlEncode(text), vector["encoded"].get<std::string>()) << text;
        EXPECT_EQ(Helper::urlDecode(Helper::urlEncode(text)), text);
    }
    for (char reserved : std::string("!*'();:@&=+$,/?%#[]"))
        EXPECT_EQ(Helper::urlEncode(std::string(1, reserved)).size(), 3u) << reserved;
}

TEST(NotificationHubHelperTest, UrlDecodingTurnsPlusIntoSpaceAndKeepsBrokenEscapes) {
    EXPECT_EQ(Helper::urlDecode("a+b%2Bc"), "a b+c");
    EXPECT_EQ(Helper::urlDecode("%E6%9D%B1%e4%ba%ac"), "東京");
    EXPECT_EQ(Helper::urlDecode("100%"), "100%");
    EXPECT_EQ(Helper::urlDecode("%zz%4"), "%zz%4");
}

TEST(NotificationHubHelperTest, Base64MatchesRfc4648) {
    const auto vectors = readJson("rfc/base64_hmac_sha256_vectors.json");
    ASSERT_TRUE(vectors.contains("base64_rfc4648_section10"));
    std::size_t checked = 0;
    for (const char* group : {"base64_rfc4648_section10", "base64_derived_valid"}) {
        for (const auto& vector : vectors[group]) {
            const Bytes input = bytesFromHex(vector["inputHex"]);
            const std::string text = vector["base64"];
            EXPECT_EQ(Helper::toBase64(input.data(), input.size()), text);
            EXPECT_EQ(Helper::fromBase64(text), input) << text;
            ++checked;
        }
    }
    for (const auto& vector : vectors["base64_derived_invalid_must_reject"]) {
        EXPECT_FALSE(Helper::fromBase64(vector["base64"].get<std::string>())) << vector["base64"];
        ++checked;
    }
    EXPECT_GE(checked, 14u);
}

TEST(NotificationHubHelperTest, Base64DecodingRefusesWhatIsNotBase64) {
    EXPECT_FALSE(Helper::fromBase64("Zm9"));
    EXPECT_FALSE(Helper::fromBase64("Z==="));
    EXPECT_FALSE(Helper::fromBase64("===="));
    EXPECT_FALSE(Helper::fromBase64("Zg=v"));
    EXPECT_FALSE(Helper::fromBase64("Zm9v\x80YmE="));
    EXPECT_EQ(Helper::fromBase64(""), Bytes{});
}

TEST(NotificationHubHelperTest, Base64DecodingTableIsBuiltOnceForConcurrentFirstCallers) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            if (Helper::fromBase64("Zm9vYmFy") != toBytes("foobar"))
                ++wrong;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(NotificationHubHelperTest, HmacSha256MatchesRfc4231) {
    const auto vectors = readJson("rfc/base64_hmac_sha256_vectors.json");
    ASSERT_EQ(vectors["hmac_sha256_rfc4231"].size(), 7u);
    for (const auto& vector : vectors["hmac_sha256_rfc4231"]) {
        const Bytes key = bytesFromHex(vector["keyHex"]);
        const std::string data = toString(bytesFromHex(vector["dataHex"]));
        const Bytes expected = bytesFromHex(vector["hmacSha256Hex"]);
        const auto signature = Helper::fromBase64(Helper::signString(data, key.data(), key.size()));
        ASSERT_TRUE(signature);
        const std::size_t length = vector["testCase"] == 5 ? 16 : 32; // case 5 publishes a truncated tag
        EXPECT_EQ(Bytes(signature->begin(), signature->begin() + length),
                  Bytes(expected.begin(), expected.begin() + length))
            << "test case " << vector["testCase"];
    }
    EXPECT_EQ(Helper::signString("what do ya want for nothing?", "Jefe"),
              "W9zBRr9gdU5qBCQmCJV1x1oAPwidJzmDnexYuWTsOEM=");
}

TEST(NotificationHubHelperTest, HmacSha256MatchesWycheproof) {
    const auto vectors = readJson("wycheproof/hmac_sha256_test.json");
    ASSERT_TRUE(vectors.contains("testGroups"));
    int valid = 0, invalid = 0;
    for (const auto& group : vectors["testGroups"]) {
        const std::size_t tagBytes = group["tagSize"].get<std::size_t>() / 8;
        for (const auto& test : group["tests"]) {
            const Bytes key = bytesFromHex(test["key"]);
            const std::string message = toString(bytesFromHex(test["msg"]));
            const auto mac = Helper::fromBase64(Helper::signString(message, key.data(), key.size()));
            ASSERT_TRUE(mac && mac->size() == 32);
            const bool matches = Bytes(mac->begin(), mac->begin() + tagBytes) == bytesFromHex(test["tag"]);
            if (test["result"] == "valid") {
                EXPECT_TRUE(matches) << "tcId " << test["tcId"];
                ++valid;
            } else {
                EXPECT_FALSE(matches) << "tcId " << test["tcId"];
                ++invalid;
            }
        }
    }
    EXPECT_EQ(valid, 66);
    EXPECT_EQ(invalid, 108);
}

TEST(NotificationHubHelperTest, TagSetsJoinWithCommas) {
    EXPECT_EQ(Helper::convertTagSetToString({}), "");
    EXPECT_EQ(Helper::convertTagSetToString({"b", "a", "c"}), "a,b,c");
}

TEST(NotificationHubHelperTest, RegistrationNamesAreDefaultOrTheTemplateName) {
    HubRegistration native;
    HubTemplateRegistration templated;
    templated.templateName = "alerts";
    EXPECT_EQ(Helper::nameOfRegistration(native), "$Default");
    EXPECT_EQ(Helper::nameOfRegistration(templated), "alerts");
}

TEST(NotificationHubHelperTest, ErrorsCarryTheClientDomainCodeAndText) {
    const struct {
        Error error;
        std::int64_t code;
        const char* message;
    } cases[] = {
        {Helper::errorForNullDeviceToken(), -1, "Device Token can't be nil."},
        {Helper::errorForReservedTemplateName(), -1, "TemplateName is conflict with reservered ones."},
        {Helper::errorForInvalidTemplateName(), -1, "TemplateName can't contains ':'."},
        {Helper::registrationNotFoundError(), 404, "Registration is not found."},
        {Helper::errorWithMsg("x", 7), 7, "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.domain, "NotificationHubClient");
        EXPECT_EQ(c.error.code, c.code);
        EXPECT_EQ(c.error.message, c.message);
    }
}

TEST(HubConnectionStringTest, BuildsEveryFormWithAnSbEndpoint) {
    EXPECT_EQ(HubConnectionString::stringWithEndpoint("https://ns.example.net", "rule", "key"),
              "Endpoint=sb://ns.example.net/;SharedAccessKeyName=rule;SharedAccessKey=key");
    EXPECT_EQ(HubConnectionString::stringWithEndpointFullAccessSecret("ns.example.net/", "key"),
              "Endpoint=sb://ns.example.net/;SharedAccessKeyName=DefaultFullSharedAccessSignature;SharedAccessKey=key");
    EXPECT_EQ(
        HubConnectionString::stringWithEndpointListenAccessSecret("sb://ns.example.net/", "key"),
        "Endpoint=sb://ns.example.net/;SharedAccessKeyName=DefaultListenSharedAccessSignature;SharedAccessKey=key");
    EXPECT_EQ(HubConnectionString::stringWithEndpointIssuer("https://ns.example.net/", "owner", "c2VjcmV0"),
              "Endpoint=sb://ns.example.net/;SharedSecretIssuer=owner;SharedSecretValue=c2VjcmV0");
}

TEST(HubConnectionStringTest, RefusesMissingPartsWithALogLine) {
    CapturedLog log;
    EXPECT_FALSE(HubConnectionString::stringWithEndpoint("", "rule", "key"));
    EXPECT_FALSE(HubConnectionString::stringWithEndpointFullAccessSecret("ns.example.net", ""));
    EXPECT_FALSE(HubConnectionString::stringWithEndpointIssuer("ns.example.net", "", "secret"));
    const std::string text = log.text();
    EXPECT_NE(text.find("endpoint/keyName/secret can't be null."), std::string::npos);
    EXPECT_NE(text.find("endpoint/issuer/secret can't be null."), std::string::npos);
}

TEST(HubConnectionStringTest, BuiltStringsParseBackToTheirParts) {
    const auto text = HubConnectionString::stringWithEndpoint("ns.example.net", "rule", "a;b=c");
    ASSERT_TRUE(text);
    const auto parsed = Helper::parseConnectionString(*text);
    EXPECT_EQ(parsed.at("endpoint"), "https://ns.example.net/");
    EXPECT_EQ(parsed.at("sharedaccesskey"), "a;b=c");
}

} // namespace
} // namespace vexaqr::test
