// The hub client against the devserver's hub over real HTTP: both credential kinds, the hub's own checks of
// every Authorization header, and 410 for a forgotten registration.
#include "hub/HubTestSupport.hpp"
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/UserDefaults.hpp"
#include "account/platform/CurlHttpClient.hpp"
#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <future>

namespace vexaqr::test {
namespace {

using namespace std::chrono_literals;

const Bytes kToken = {0xC0, 0xFF, 0xEE, 0x01};
constexpr const char* kTokenText = "C0FFEE01";

HubTokenProvider::Clock clockAt(std::int64_t unixSeconds) {
    return [unixSeconds] { return std::chrono::system_clock::time_point(std::chrono::seconds(unixSeconds)); };
}

class HubDevServerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(_server.isRunning()); }

    // A hub client with its own local store in `directory` (one per simulated installation).
    std::shared_ptr<NotificationHub> client(const std::filesystem::path& directory, const std::string& connection,
                                            HubTokenProvider::Clock clock = {}) {
        auto defaults = std::make_shared<UserDefaults>([directory] { return directory; });
        return NotificationHub::initWithConnectionString(connection, "devhub", {_http, _mainQueue, defaults, clock});
    }

    std::shared_ptr<NotificationHub> client(const std::string& connection, HubTokenProvider::Clock clock = {}) {
        return client(_directory.path() / "install", connection, std::move(clock));
    }

    NotificationHub::Registrations listed(NotificationHub& hub) {
        auto registrations = hub.retrieveAllRegistrationsWithDeviceToken(kTokenText);
        EXPECT_TRUE(succeeded(registrations));
        return registrations ? std::move(registrations).value() : NotificationHub::Registrations{};
    }

    DevServer _server;
    TempDirectory _directory;
    std::shared_ptr<HttpClient> _http = std::make_shared<CurlHttpClient>();
    std::shared_ptr<RunLoop> _mainQueue = std::make_shared<RunLoop>();
};

TEST_F(HubDevServerTest, SharedAccessSignatureRegistersAndUpdatesOneRegistration) {
    auto hub = client(_server.hubConnectionString());
    ASSERT_TRUE(hub);
    EXPECT_TRUE(listed(*hub).empty()) << "404 from the hub is an empty list";
    ASSERT_TRUE(succeeded(hub->registerNativeWithDeviceToken(kToken, {"news"})));
    ASSERT_TRUE(succeeded(client(_server.hubConnectionString())->registerNativeWithDeviceToken(kToken, {"sport"})));

    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u) << "the second call updated the first registration";
    EXPECT_EQ(registrations[0]->deviceToken, kTokenText);
    EXPECT_EQ(registrations[0]->tags, (std::set<std::string>{"sport"}));
    EXPECT_EQ(registrations[0]->ETag, "2");
    EXPECT_EQ(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId,
              registrations[0]->registrationId);
}

TEST_F(HubDevServerTest, WrapTokenFromTheTokenServiceIsAccepted) {
    auto hub = client(_server.hubConnectionString("--issuer"));
    ASSERT_TRUE(hub);
    EXPECT_FALSE(hub->tokenProvider().usesSharedAccessSignature());
    ASSERT_TRUE(succeeded(hub->registerNativeWithDeviceToken(kToken, {})));
    EXPECT_EQ(listed(*hub).size(), 1u);
}

TEST_F(HubDevServerTest, HubRefusesAWrongKeyWithUnauthorized) {
    std::string connection = _server.hubConnectionString();
    connection.back() = connection.back() == 'A' ? 'B' : 'A';
    auto hub = client(connection);
    const auto refused = hub->registerNativeWithDeviceToken(kToken, {});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().domain, "NotificationHubClient");
    EXPECT_EQ(refused.failure().code, 401);

    std::promise<std::optional<Error>> promise;
    hub->registerNativeWithDeviceToken(kToken, {}, [&](std::optional<Error> failure) { promise.set_value(failure); });
    const auto asynchronous = promise.get_future().get();
    ASSERT_TRUE(asynchronous);
    EXPECT_EQ(asynchronous->message, "URLRequest failed for GET " + _server.origin() +
                                         "/hub/devhub/Registrations/?$filter=deviceToken+eq+'C0FFEE01'&api-version="
                                         "2013-04 with status code: Unauthorized");
}

TEST_F(HubDevServerTest, WrongIssuerSecretGetsNoToken) {
    const std::string connection = _server.hubConnectionString("--issuer");
    const auto secretAt = connection.find("SharedSecretValue=") + 18;
    std::string wrong = connection;
    wrong.replace(secretAt, 4, wrong.compare(secretAt, 4, "AAAA") == 0 ? "BBBB" : "AAAA");
    const auto refused = client(wrong)->registerNativeWithDeviceToken(kToken, {});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, 401);
    EXPECT_EQ(refused.failure().message.rfind("Fail to request token. Response:", 0), 0u) << refused.failure().message;
}

TEST_F(HubDevServerTest, SignaturesMadeAfter2038AreStillValidAndExpiredOnesAreNot) {
    auto future = client(_server.hubConnectionString(), clockAt(4102444800)); // 2100-01-01
    EXPECT_TRUE(succeeded(future->registerNativeWithDeviceToken(kToken, {})));

    auto past = client(_directory.path() / "past", _server.hubConnectionString(), clockAt(1000000000));
    const auto expired = past->registerNativeWithDeviceToken(kToken, {});
    ASSERT_FALSE(expired);
    EXPECT_EQ(expired.failure().code, 401);
}

TEST_F(HubDevServerTest, ForgottenRegistrationIsReplacedByANewOne) {
    auto hub = client(_server.hubConnectionString());
    ASSERT_TRUE(succeeded(hub->registerNativeWithDeviceToken(kToken, {})));
    const std::string first =
        hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId;
    const auto forget = _server.admin("hub-forget", "--registration-id", first);
    ASSERT_EQ(forget.exitCode, 0) << forget.err;
    ASSERT_TRUE(succeeded(hub->registerNativeWithDeviceToken(kToken, {})));
    const std::string second =
        hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId;
    EXPECT_NE(second, first);
    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0]->registrationId, second);
    EXPECT_EQ(_server.admin("hub-forget", "--registration-id", "no-such-id").exitCode, 1);
}

TEST_F(HubDevServerTest, TemplateBodiesSurviveTheRoundTrip) {
    auto hub = client(_server.hubConnectionString());
    const std::string body = R"json({"aps":{"alert":"$(message) ]]> <&>"}})json";
    ASSERT_TRUE(succeeded(hub->registerTemplateWithDeviceToken(kToken, "alerts", body, "$(expiry)", {"a<b"})));
    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u);
    const auto* templated = dynamic_cast<const HubTemplateRegistration*>(registrations[0].get());
    ASSERT_NE(templated, nullptr);
    EXPECT_EQ(templated->bodyTemplate, body);
    EXPECT_EQ(templated->templateName, "alerts");
    EXPECT_EQ(templated->expiry, "$(expiry)");
    EXPECT_EQ(templated->tags, (std::set<std::string>{"a<b"}));

    ASSERT_TRUE(succeeded(hub->unregisterTemplateWithName("alerts")));
    EXPECT_TRUE(listed(*hub).empty());
}

TEST_F(HubDevServerTest, UnregisterAllRemovesTheRegistrationsOfOtherInstallationsToo) {
    const std::string connection = _server.hubConnectionString();
    ASSERT_TRUE(succeeded(client(_directory.path() / "a", connection)->registerNativeWithDeviceToken(kToken, {})));
    // A current but empty store skips the refresh, so this installation makes a second "$Default" of the token.
    UserDefaults(std::function<std::filesystem::path()>([this] {
        return _directory.path() / "b";
    })).setString("devhub-version", "v1.0.0");
    auto second = client(_directory.path() / "b", connection);
    ASSERT_TRUE(succeeded(second->registerNativeWithDeviceToken(kToken, {})));
    ASSERT_EQ(listed(*second).size(), 2u);

    std::optional<std::optional<Error>> outcome;
    _mainQueue->post([&] { second->unregisterAllWithDeviceToken(kToken, [&](auto failure) { outcome = failure; }); });
    ASSERT_TRUE(_mainQueue->runUntil([&] { return outcome.has_value(); }, 30s));
    EXPECT_FALSE(*outcome);
    EXPECT_TRUE(listed(*second).empty());
    EXPECT_TRUE(second->storageManager().registrations().empty());
}

TEST_F(HubDevServerTest, FaultSwitchStatusReachesTheCaller) {
    auto hub = client(_server.hubConnectionString());
    ASSERT_EQ(_server.admin("fault", "--endpoint", "/hub/devhub/registrationids", "--status", "503").exitCode, 0);
    const auto unavailable = hub->registerNativeWithDeviceToken(kToken, {});
    ASSERT_FALSE(unavailable);
    EXPECT_EQ(unavailable.failure().code, 503);
}

} // namespace
} // namespace vexaqr::test
