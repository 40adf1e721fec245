#include "hub/HubTestSupport.hpp"

#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include "account/platform/CurlHttpClient.hpp"

#include <gtest/gtest.h>

#include <future>

namespace vexaqr::test {
namespace {

using namespace std::chrono_literals;

HubTokenProvider::Clock fixedClock(double unixSeconds) {
    return [unixSeconds] {
        return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(unixSeconds)));
    };
}

std::shared_ptr<HubTokenProvider> providerFor(const std::string& connectionString,
                                              std::shared_ptr<HttpClient> client = nullptr,
                                              HubTokenProvider::Clock clock = {}) {
    return HubTokenProvider::initWithConnectionDictinary(NotificationHubHelper::parseConnectionString(connectionString),
                                                         client ? client : std::make_shared<CurlHttpClient>(), clock);
}

std::string authorizationOf(const HttpRequest& request) {
    for (const auto& [name, value] : request.headers)
        if (name == "Authorization")
            return value;
    return {};
}

TEST(HubTokenProviderTest, SharedAccessSignaturesMatchTheIndependentVectors) {
    const auto vectors = hubVectors();
    ASSERT_EQ(vectors["sharedAccessSignatures"].size(), 4u);
    for (const auto& vector : vectors["sharedAccessSignatures"]) {
        auto provider = providerFor(
            "Endpoint=sb://demo-ns.example.net/;SharedAccessKeyName=" + vector["keyName"].get<std::string>() +
                ";SharedAccessKey=" + vector["key"].get<std::string>(),
            nullptr, fixedClock(vector["now"].get<double>()));
        ASSERT_TRUE(provider);
        provider->timeToExpireinMins = vector["minutes"];
        EXPECT_EQ(provider->PrepareSharedAccessTokenWithUrl(vector["url"].get<std::string>()),
                  vector["authorization"].get<std::string>());
    }
}

TEST(HubTokenProviderTest, SignaturesAfter2038KeepAPositiveExpiry) {
    auto provider = providerFor("Endpoint=sb://ns.example.net/;SharedAccessKeyName=r;SharedAccessKey=k", nullptr,
                                fixedClock(4102444800.0)); // 2100-01-01
    ASSERT_TRUE(provider);
    const auto token = provider->PrepareSharedAccessTokenWithUrl("https://ns.example.net/hub");
    EXPECT_NE(token.find("&se=4102446000&"), std::string::npos) << token;
}

TEST(HubTokenProviderTest, SetTokenAddsTheSignatureInBothForms) {
    auto provider = providerFor("Endpoint=sb://ns.example.net/;SharedAccessKeyName=r;SharedAccessKey=k", nullptr,
                                fixedClock(1700000000));
    ASSERT_TRUE(provider && provider->usesSharedAccessSignature());
    HttpRequest request;
    request.url = "https://ns.example.net/hub/Registrations/?api-version=2013-04";
    EXPECT_TRUE(succeeded(provider->setTokenWithRequest(request)));
    EXPECT_EQ(authorizationOf(request), provider->PrepareSharedAccessTokenWithUrl(request.url));

    bool called = false;
    provider->setTokenWithRequest(HttpRequest{"GET", request.url, {}, std::nullopt, 1s},
                                  [&](HttpRequest authorised, std::optional<Error> error) {
                                      called = true;
                                      EXPECT_FALSE(error);
                                      EXPECT_EQ(authorizationOf(authorised), authorizationOf(request));
                                  });
    EXPECT_TRUE(called) << "a signature needs no request: the completion runs at once";
}

TEST(HubTokenProviderTest, RefusesConnectionStringsWithoutEndpointOrCredentials) {
    const struct {
        const char* connectionString;
        const char* logLine;
    } cases[] = {
        {"SharedAccessKeyName=r;SharedAccessKey=k", "Endpoint is missing or not in URL format in connectionString."},
        {"Endpoint=sb://;SharedAccessKeyName=r;SharedAccessKey=k",
         "Endpoint is missing or not in URL format in connectionString."},
        {"Endpoint=sb://ns.example.net/;SharedAccessKey=k", "Security information is missing in connectionString."},
        {"Endpoint=sb://ns.example.net/;SharedSecretIssuer=me", "Security information is missing in connectionString."},
        {"Endpoint=sb://ns.example.net/;SharedSecretValue=c2VjcmV0;StsEndpoint=not a url",
         "StsHostname is not in URL format in connectionString."},
        // Values reach request headers: a line break would add a header of the string's author's choosing.
        {"Endpoint=sb://ns.example.net/;SharedAccessKeyName=r\r\nX-Injected: 1;SharedAccessKey=k",
         "The value of sharedaccesskeyname holds a control character in connectionString."},
        {"Endpoint=sb://ns.example.net/;SharedAccessKeyName=r;SharedAccessKey=k\n",
         "The value of sharedaccesskey holds a control character in connectionString."},
        {"Endpoint=sb://ns.example.net/;SharedSecretIssuer=me\x7f;SharedSecretValue=c2VjcmV0",
         "The value of sharedsecretissuer holds a control character in connectionString."},
    };
    for (const auto& c : cases) {
        CapturedLog log;
        EXPECT_FALSE(providerFor(c.connectionString)) << c.connectionString;
        EXPECT_NE(log.text().find(c.logLine), std::string::npos) << c.connectionString;
    }
}

TEST(HubTokenProviderTest, SharedAccessKeyWinsOverASharedSecret) {
    auto provider =
        providerFor("Endpoint=sb://ns.example.net/;SharedSecretValue=c2VjcmV0;SharedAccessKeyName=r;SharedAccessKey=k");
    ASSERT_TRUE(provider);
    EXPECT_TRUE(provider->usesSharedAccessSignature());
}

TEST(HubTokenProviderTest, WrapRequestsMatchTheIndependentVectors) {
    const auto vectors = hubVectors(); // the loop must not run over a part of a destroyed temporary
    for (const auto& vector : vectors["wrapRequests"]) {
        auto provider =
            providerFor("Endpoint=sb://demo-ns.example.net/;SharedSecretIssuer=" + vector["issuer"].get<std::string>() +
                        ";SharedSecretValue=" + vector["secret"].get<std::string>());
        ASSERT_TRUE(provider);
        EXPECT_FALSE(provider->usesSharedAccessSignature());
        const auto request = provider->PrepareSharedSecretTokenWithUrl(vector["url"].get<std::string>());
        ASSERT_TRUE(request.body);
        EXPECT_EQ(toString(*request.body), vector["body"].get<std::string>());
    }
}

TEST(HubTokenProviderTest, WrapRequestGoesToTheNamespaceTokenServiceAsAForm) {
    HubTokenProvider::setAccessControlDomain("");
    auto provider = providerFor("Endpoint=sb://demo-ns.example.net/;SharedSecretValue=c2VjcmV0");
    ASSERT_TRUE(provider);
    const auto request = provider->PrepareSharedSecretTokenWithUrl("https://demo-ns.example.net/hub");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "https://demo-ns-sb.accesscontrol.vexaqr.com/WRAPv0.9/");
    EXPECT_EQ(request.timeout, 60s);
    EXPECT_EQ(request.headers,
              (HttpHeaders{{"Content-Type", "application/x-www-form-urlencoded"}, {"ContentLength", "0"}}));

    HubTokenProvider::setAccessControlDomain("tokens.example.org");
    auto moved = providerFor("Endpoint=sb://demo-ns.example.net/;SharedSecretValue=c2VjcmV0");
    HubTokenProvider::setAccessControlDomain("");
    EXPECT_EQ(moved->PrepareSharedSecretTokenWithUrl("https://x/").url,
              "https://demo-ns-sb.tokens.example.org/WRAPv0.9/");

    auto named = providerFor(
        "Endpoint=sb://demo-ns.example.net/;SharedSecretValue=c2VjcmV0;StsEndpoint=sb://sts.example.net:8443/path");
    EXPECT_EQ(named->PrepareSharedSecretTokenWithUrl("https://x/").url, "https://sts.example.net:8443/WRAPv0.9/");
}

TEST(HubTokenProviderTest, SecretWithoutIssuerSignsAsOwner) {
    auto provider = providerFor("Endpoint=sb://ns.example.net/;SharedSecretValue=c2VjcmV0");
    const auto body = toString(*provider->PrepareSharedSecretTokenWithUrl("https://ns.example.net/").body);
    const auto key = *NotificationHubHelper::fromBase64("c2VjcmV0");
    const std::string signature =
        NotificationHubHelper::urlEncode(NotificationHubHelper::signString("Issuer=owner", key.data(), key.size()));
    EXPECT_NE(body.find(NotificationHubHelper::urlEncode("Issuer=owner&HMACSHA256=" + signature)), std::string::npos)
        << body;
}

TEST(HubTokenProviderTest, ExtractTokenReadsTwoPartReplies) {
    EXPECT_EQ(
        HubTokenProvider::ExtractToken(toBytes("wrap_access_token=net%2Fabc+d&wrap_access_token_expires_in=1200")),
        "WRAP access_token=\"net/abc d\"");
    EXPECT_EQ(HubTokenProvider::ExtractToken(toBytes("wrap_access_token_expires_in=1200&wrap_access_token=t")),
              "WRAP access_token=\"t\"");
    EXPECT_EQ(HubTokenProvider::ExtractToken(toBytes("wrap_access_token=t&a=1&b=2")), "");
    EXPECT_EQ(HubTokenProvider::ExtractToken(toBytes("wrap_access_token=t")), "");
    EXPECT_EQ(HubTokenProvider::ExtractToken(toBytes("a=1&b=2")), "");
    EXPECT_EQ(HubTokenProvider::ExtractToken(toBytes("")), "");
}

class WrapTokenServiceTest : public testing::Test {
protected:
    void answer(int status, std::string body) {
        _server.setHandler([status, body](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_content(body, "application/x-www-form-urlencoded");
        });
    }

    std::shared_ptr<HubTokenProvider> provider() {
        return providerFor("Endpoint=sb://ns.example.net/;SharedSecretIssuer=me;SharedSecretValue=c2VjcmV0;"
                           "StsEndpoint=" +
                           _server.origin());
    }

    // The asynchronous form's outcome, waited for through its completion.
    std::pair<HttpRequest, std::optional<Error>> fetchAsynchronously() {
        std::promise<std::pair<HttpRequest, std::optional<Error>>> promise;
        provider()->setTokenWithRequest(HttpRequest{"GET", "https://ns.example.net/hub", {}, std::nullopt, 5s},
                                        [&](HttpRequest request, std::optional<Error> error) {
                                            promise.set_value({std::move(request), std::move(error)});
                                        });
        auto future = promise.get_future();
        EXPECT_EQ(future.wait_for(20s), std::future_status::ready);
        return future.get();
    }

    ScriptedServer _server{[](const httplib::Request&, httplib::Response& response) { response.status = 500; }};
};

TEST_F(WrapTokenServiceTest, FetchedTokenBecomesTheAuthorizationHeader) {
    answer(200, "wrap_access_token=tok%3D1&wrap_access_token_expires_in=1200");
    HttpRequest request{"GET", "https://ns.example.net/hub?x=1", {}, std::nullopt, 5s};
    EXPECT_TRUE(succeeded(provider()->setTokenWithRequest(request)));
    EXPECT_EQ(authorizationOf(request), "WRAP access_token=\"tok=1\"");
    const auto [asynchronous, error] = fetchAsynchronously();
    EXPECT_FALSE(error);
    EXPECT_EQ(authorizationOf(asynchronous), "WRAP access_token=\"tok=1\"");

    const auto seen = _server.requests().at(0);
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.target, "/WRAPv0.9/");
    EXPECT_EQ(seen.body.rfind("wrap_scope=http%3A%2F%2Fns.example.net%2Fhub&wrap_assertion_format=SWT&", 0), 0u)
        << seen.body;
}

TEST_F(WrapTokenServiceTest, RefusedTokenRequestsReportTheStatus) {
    answer(401, "denied");
    HttpRequest request{"GET", "https://ns.example.net/hub", {}, std::nullopt, 5s};
    const auto synchronous = provider()->setTokenWithRequest(request);
    ASSERT_FALSE(synchronous);
    EXPECT_EQ(synchronous.failure().domain, "NotificationHubClient");
    EXPECT_EQ(synchronous.failure().code, 401);
    EXPECT_EQ(synchronous.failure().message, "Fail to request token. Response:denied");
    EXPECT_EQ(authorizationOf(request), "");

    const auto [unused, asynchronous] = fetchAsynchronously();
    ASSERT_TRUE(asynchronous);
    EXPECT_EQ(asynchronous->code, 401);
    EXPECT_EQ(asynchronous->message, "Fail to retrieve token. Response:denied");
}

TEST_F(WrapTokenServiceTest, ReplyWithoutATokenIsAParseErrorThatShowsOnlyItsShape) {
    answer(200, "wrap_access_token=SECRET-TOKEN&b=1&c=2");
    const auto [unused, error] = fetchAsynchronously();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, -1);
    EXPECT_EQ(error->message, "Fail to parse token. Response:3 members, none of them a usable wrap_access_token");
}

TEST_F(WrapTokenServiceTest, ErrorsShowABoundedEscapedExcerptOfTheReply) {
    answer(500, "\x1b]0;owned\x07\x1b[2J" + std::string(1 << 20, 'x'));
    const auto [unused, error] = fetchAsynchronously();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "Fail to retrieve token. Response:\\x1b]0;owned\\x07\\x1b[2J" + std::string(186, 'x') +
                                  "... (1048590 bytes)");
}

TEST_F(WrapTokenServiceTest, TransportErrorsPassThroughUnchanged) {
    auto provider =
        providerFor("Endpoint=sb://ns.example.net/;SharedSecretValue=c2VjcmV0;StsEndpoint=http://127.0.0.1:1");
    HttpRequest request{"GET", "https://ns.example.net/hub", {}, std::nullopt, 5s};
    const auto unreachable = provider->setTokenWithRequest(request);
    ASSERT_FALSE(unreachable);
    EXPECT_EQ(unreachable.failure().domain, kHttpClientErrorDomain);
}

TEST_F(WrapTokenServiceTest, SecretsAndTokensStayOutOfTheLog) {
    answer(500, "trouble");
    CapturedLog log;
    auto failing = providerFor("Endpoint=sb://ns.example.net/;SharedSecretIssuer=me;SharedSecretValue=c2VjcmV0;"
                               "StsEndpoint=" +
                               _server.origin());
    (void)fetchAsynchronously();
    HttpRequest request{"GET", "https://ns.example.net/hub", {}, std::nullopt, 5s};
    (void)failing->setTokenWithRequest(request);
    answer(200, "wrap_access_token=SECRET-TOKEN&x=1&y=2");
    (void)fetchAsynchronously();
    const std::string text = log.text();
    EXPECT_NE(text.find("Fail to retrieve token."), std::string::npos) << "the failure is logged";
    for (const char* secret : {"c2VjcmV0", "SECRET-TOKEN", "HMACSHA256", "wrap_assertion"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " leaked into:\n" << text;
}

} // namespace
} // namespace vexaqr::test
