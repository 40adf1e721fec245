#include "account/service/UrlProvider.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

std::string text(const std::optional<Url>& url) {
    return url ? url->absoluteString() : "<invalid>";
}

TEST(UrlProviderTest, EveryAddressIsBasePlusEndpoint) {
    UrlProvider provider;
    const std::string base = "http://127.0.0.1:8642/api/v1/client";
    EXPECT_EQ(provider.apiBaseUrl(), base);
    EXPECT_EQ(text(provider.registerAccountUrl()), base + "/registerclient");
    EXPECT_EQ(text(provider.activateAccountUrl()), base + "/activateclient");
    EXPECT_EQ(text(provider.getVexaQrMessageIdListUrl()), base + "/getvxalist");
    EXPECT_EQ(text(provider.getVexaQrMessageUrl("m1")), base + "/getvxa/m1");
    EXPECT_EQ(text(provider.getNotificationIdUrl()), base + "/push/getid");
    EXPECT_EQ(text(provider.registerPushNotificationUrl()), base + "/push/register");
    EXPECT_EQ(text(provider.updateKeysUrl()), base + "/updatekeys");
    EXPECT_EQ(text(provider.getPublicKeyOfPartnerUrl()), base + "/partnerkey");
    EXPECT_EQ(text(provider.deleteVexaQrMessageUrl("m1")), base + "/deletevxa/m1");
    EXPECT_EQ(text(provider.deleteAllVexaQrMessageUrl()), base + "/deleteallvxa");
}

TEST(UrlProviderTest, NewBaseIsConcatenatedVerbatimIncludingATrailingSlash) {
    UrlProvider provider;
    provider.setApiBaseUrl(*Url::fromString("https://backend.example/api/"));
    EXPECT_EQ(provider.apiBaseUrl(), "https://backend.example/api/");
    EXPECT_EQ(text(provider.updateKeysUrl()), "https://backend.example/api//updatekeys");
}

TEST(UrlProviderTest, MessageIdIsAppendedWithoutEncoding) {
    UrlProvider provider;
    const std::string base = provider.apiBaseUrl();
    EXPECT_EQ(text(provider.getVexaQrMessageUrl("a%41b")), base + "/getvxa/a%41b");
    EXPECT_EQ(text(provider.deleteVexaQrMessageUrl("x/y?z=1")), base + "/deletevxa/x/y?z=1");
    EXPECT_EQ(text(provider.getVexaQrMessageUrl("")), base + "/getvxa/");
}

TEST(UrlProviderTest, MessageIdThatBreaksTheUrlGivesNoAddress) {
    UrlProvider provider;
    for (const std::string id : {"a b", "a%4", "a%zz", "tab\t", "new\nline", "\xc3\xa9", "a\"b", "a<b>", "{x}"}) {
        EXPECT_FALSE(provider.getVexaQrMessageUrl(id)) << id;
        EXPECT_FALSE(provider.deleteVexaQrMessageUrl(id)) << id;
    }
}

TEST(UrlTest, OnlyAbsoluteUrlsAreAccepted) {
    EXPECT_TRUE(Url::fromString("http://h/p"));
    EXPECT_TRUE(Url::fromString("https://h:1/p?q#f"));
    for (const auto* bad : {"", "relative/path", "/absolute/path", "http://", "http:// h/"}) {
        EXPECT_FALSE(Url::fromString(bad)) << bad;
    }
}

} // namespace
} // namespace vexaqr
