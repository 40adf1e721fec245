#include "account/hub/HubRegistrationParser.hpp"
#include "account/hub/HubRegistrationPayload.hpp"

#include <vexaqr/hub/NotificationHub.hpp>

#include <gtest/gtest.h>

namespace vexaqr::test {
namespace {

using Registrations = HubRegistrationParser::Registrations;

Registrations parse(const std::string& xml) {
    auto registrations = HubRegistrationParser::parseRegistrations(toBytes(xml));
    EXPECT_TRUE(registrations) << registrations.failure().message;
    return registrations ? std::move(registrations).value() : Registrations{};
}

const std::string kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<feed xmlns="http://www.w3.org/2005/Atom">
  <title type="text">Registrations</title>
  <entry>
    <id>https://ns.example.net/hub/registrations/111</id>
    <content type="application/xml">
      <AppleRegistrationDescription xmlns="https://schemas.vexaqr.com/notificationhub/2013-04" xmlns:i="http://www.w3.org/2001/XMLSchema-instance">
        <ETag>3</ETag>
        <ExpirationTime>2026-03-04T05:06:07.089Z</ExpirationTime>
        <RegistrationId>111</RegistrationId>
        <Tags>news,sport</Tags>
        <DeviceToken>0AFF</DeviceToken>
      </AppleRegistrationDescription>
    </content>
  </entry>
  <entry>
    <content type="application/xml">
      <AppleTemplateRegistrationDescription xmlns="https://schemas.vexaqr.com/notificationhub/2013-04">
        <ETag>7</ETag>
        <RegistrationId>222</RegistrationId>
        <DeviceToken>0AFF</DeviceToken>
        <BodyTemplate><![CDATA[{"aps":{"alert":"$(message)<&>"}}]]></BodyTemplate>
        <Expiry>$(expiry)</Expiry>
        <TemplateName>alerts</TemplateName>
      </AppleTemplateRegistrationDescription>
    </content>
  </entry>
</feed>)";

TEST(HubRegistrationParserTest, ReadsEveryRegistrationOfAFeedInOrder) {
    const auto registrations = parse(kFeed);
    ASSERT_EQ(registrations.size(), 2u);

    const auto& native = *registrations[0];
    EXPECT_FALSE(native.isTemplate());
    EXPECT_EQ(native.Name(), "$Default");
    EXPECT_EQ(native.ETag, "3");
    EXPECT_EQ(native.registrationId, "111");
    EXPECT_EQ(native.deviceToken, "0AFF");
    EXPECT_EQ(native.tags, (std::set<std::string>{"news", "sport"}));
    ASSERT_TRUE(native.expiresAt);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(native.expiresAt->time_since_epoch()).count(),
              1772600767089);

    const auto* templated = dynamic_cast<const HubTemplateRegistration*>(registrations[1].get());
    ASSERT_NE(templated, nullptr);
    EXPECT_EQ(templated->Name(), "alerts");
    EXPECT_EQ(templated->registrationId, "222");
    EXPECT_EQ(templated->bodyTemplate, R"({"aps":{"alert":"$(message)<&>"}})");
    EXPECT_EQ(templated->expiry, "$(expiry)");
    EXPECT_FALSE(templated->expiresAt);
    EXPECT_TRUE(templated->tags.empty());
}

TEST(HubRegistrationParserTest, ReadsASingleEntryAndEmptyElements) {
    const auto registrations = parse("<entry><content><AppleRegistrationDescription><ETag>1</ETag><Tags/>"
                                     "<RegistrationId>r&amp;1</RegistrationId><DeviceToken/>"
                                     "</AppleRegistrationDescription></content></entry>");
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0]->registrationId, "r&1");
    EXPECT_TRUE(registrations[0]->tags.empty());
    EXPECT_EQ(registrations[0]->deviceToken, "");
}

TEST(HubRegistrationParserTest, FeedWithoutRegistrationsIsAnEmptyList) {
    EXPECT_TRUE(parse("<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Registrations</title></feed>").empty());
}

TEST(HubRegistrationParserTest, StopsAtTheEndOfTheFeed) {
    EXPECT_EQ(parse("<feed><entry><AppleRegistrationDescription><RegistrationId>1</RegistrationId>"
                    "</AppleRegistrationDescription></entry></feed>")
                  .size(),
              1u);
}

TEST(HubRegistrationParserTest, UnreadableExpirationTimesAreLeftEmpty) {
    for (const char* time : {"2026-03-04T05:06:07Z", "2026-13-04T05:06:07.000Z", "soon", "2026-03-04T05:06:07.000Zx"}) {
        const auto registrations = parse(std::string("<AppleRegistrationDescription><ExpirationTime>") + time +
                                         "</ExpirationTime></AppleRegistrationDescription>");
        ASSERT_EQ(registrations.size(), 1u);
        EXPECT_FALSE(registrations[0]->expiresAt) << time;
    }
}

TEST(HubRegistrationParserTest, MalformedXmlIsAnErrorCarryingTheBody) {
    for (const char* body : {"", "not xml", "<feed><entry>", "<a></b>", "<AppleRegistrationDescription><ETag>1</ETag>",
                             "<a x='1' x='2'/>", "<feed><p:entry/></feed>"}) {
        const auto parsed = HubRegistrationParser::parseRegistrations(toBytes(body));
        ASSERT_FALSE(parsed) << body;
        EXPECT_EQ(parsed.failure().domain, "NotificationHubClient");
        EXPECT_EQ(parsed.failure().code, -1);
        EXPECT_EQ(parsed.failure().message, std::string("Fail to parse registration:") + body);
    }
}

std::string elementWithAttributes(int count) {
    std::string element = "<AppleRegistrationDescription";
    for (int i = 0; i < count; ++i)
        element += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    return element + "><RegistrationId>1</RegistrationId></AppleRegistrationDescription>";
}

// A registration inside `depth` - 1 elements, each declaring a namespace.
std::string nested(int depth) {
    std::string open, close;
    for (int level = 1; level < depth; ++level) {
        open += "<e xmlns:p" + std::to_string(level) + "='urn:x'>";
        close += "</e>";
    }
    return open + "<AppleRegistrationDescription/>" + close;
}

// What no registration feed holds is refused before the XML parser sees it: its cost there would grow faster
// than the body (entity-reference nodes, the pairwise duplicate-attribute check).
TEST(HubRegistrationParserTest, WhatNoFeedCanHoldIsRefusedBeforeParsing) {
    for (const std::string& body : {
             std::string("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>"
                         "<AppleRegistrationDescription><RegistrationId>&x;</RegistrationId>"
                         "</AppleRegistrationDescription>"),
             std::string("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;&e;&e;</a>"),
             std::string("<!-- a comment --><!doctype a><a/>"),
             elementWithAttributes(17),
             nested(33),
             "<feed>" + std::string((4 << 20) - 12, ' ') + "</feed>",
         }) {
        const auto parsed = HubRegistrationParser::parseRegistrations(toBytes(body));
        ASSERT_FALSE(parsed) << body.substr(0, 80);
        const auto& message = parsed.failure().message;
        EXPECT_TRUE(message.starts_with("Fail to parse registration:")) << message;
        EXPECT_LE(message.size(), 27u + 200u + 32u) << "an excerpt of the body, not all of it";
    }
    EXPECT_EQ(parse(elementWithAttributes(16)).size(), 1u);
    EXPECT_EQ(parse(nested(32)).size(), 1u);
    EXPECT_EQ(parse("<feed>" + std::string((4 << 20) - 13, ' ') + "</feed>").size(), 0u) << "exactly 4 MiB";
    // Markup inside comments, processing instructions, attribute values and CDATA is text, not markup.
    const std::string bodyTemplate = "<!DOCTYPE a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9 j=10 k=11 l=12 m=13 n=14 o=15 "
                                     "p=16 q=17>";
    const auto quoted = parse("<!-- <!DOCTYPE in a comment> --><?pi <!DOCTYPE?><AppleTemplateRegistrationDescription "
                              "b='x=y=z>'><BodyTemplate><![CDATA[" +
                              bodyTemplate + "]]></BodyTemplate></AppleTemplateRegistrationDescription>");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(static_cast<const HubTemplateRegistration&>(*quoted[0]).bodyTemplate, bodyTemplate);
}

TEST(HubRegistrationPayloadTest, NativeBodyHasTagsOnlyWhenThereAreTags) {
    const std::string ns(kHubRegistrationNamespace);
    EXPECT_EQ(hub::payloadWithDeviceToken("0AFF", {}),
              "<entry xmlns=\"http://www.w3.org/2005/Atom\"><content type=\"text/xml\"><AppleRegistrationDescription "
              "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns=\"" +
                  ns + "\"><DeviceToken>0AFF</DeviceToken></AppleRegistrationDescription></content></entry>");
    const auto tagged = hub::payloadWithDeviceToken("0AFF", {"b", "a"});
    EXPECT_NE(tagged.find("<Tags>a,b</Tags><DeviceToken>0AFF</DeviceToken>"), std::string::npos) << tagged;
}

TEST(HubRegistrationPayloadTest, TemplateBodyKeepsItsOrderAndOptionalParts) {
    const auto full = hub::templatePayloadWithDeviceToken("0AFF", {"t"}, "{\"a\":1}", "$(x)", "10", "alerts");
    EXPECT_NE(full.find("<AppleTemplateRegistrationDescription xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" "
                        "xmlns=\"" +
                        std::string(kHubRegistrationNamespace) +
                        "\"><Tags>t</Tags><DeviceToken>0AFF</DeviceToken><BodyTemplate><![CDATA[{\"a\":1}]]>"
                        "</BodyTemplate><Expiry>$(x)</Expiry><Priority>10</Priority><TemplateName>alerts</TemplateName>"
                        "</AppleTemplateRegistrationDescription>"),
              std::string::npos)
        << full;
    const auto bare = hub::templatePayloadWithDeviceToken("0AFF", {}, "{}", "", "", "alerts");
    EXPECT_EQ(bare.find("<Expiry>"), std::string::npos);
    EXPECT_EQ(bare.find("<Priority>"), std::string::npos);
    EXPECT_EQ(bare.find("<Tags>"), std::string::npos);
}

TEST(HubRegistrationPayloadTest, TextsCannotBreakOutOfTheirElements) {
    const std::string body = "{\"alert\":\"]]></BodyTemplate><TemplateName>evil\"}";
    const auto payload =
        hub::templatePayloadWithDeviceToken("0AFF", {"a<b", "c&d"}, body, "", "", "name</TemplateName>");
    const auto parsed = HubRegistrationParser::parseRegistrations(toBytes(payload));
    ASSERT_TRUE(parsed) << payload;
    ASSERT_EQ(parsed->size(), 1u);
    const auto& templated = dynamic_cast<const HubTemplateRegistration&>(*parsed->front());
    EXPECT_EQ(templated.bodyTemplate, body);
    EXPECT_EQ(templated.templateName, "name</TemplateName>");
    EXPECT_EQ(templated.tags, (std::set<std::string>{"a<b", "c&d"}));
}

} // namespace
} // namespace vexaqr::test
