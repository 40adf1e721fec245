// The hub client against the devserver's hub over real HTTP: both credential kinds, the hub's own checks of
// every Authorization header, 410 for a forgotten registration, and the command line.
#include "hub/HubTestSupport.hpp"
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/platform/CurlHttpClient.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <cstdio>
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

    std::string connectionString(const char* kind = "--sas") {
        const auto printed = _server.admin("hub-connection-string", kind);
        EXPECT_EQ(printed.exitCode, 0) << printed.err;
        return printed.line();
    }

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
        std::optional<Error> error;
        auto registrations = hub.retrieveAllRegistrationsWithDeviceToken(kTokenText, error);
        EXPECT_FALSE(error) << error->message;
        return registrations.value_or(NotificationHub::Registrations{});
    }

    DevServer _server;
    TempDirectory _directory;
    std::shared_ptr<HttpClient> _http = std::make_shared<CurlHttpClient>();
    std::shared_ptr<RunLoop> _mainQueue = std::make_shared<RunLoop>();
};

TEST_F(HubDevServerTest, SharedAccessSignatureRegistersAndUpdatesOneRegistration) {
    auto hub = client(connectionString());
    ASSERT_TRUE(hub);
    EXPECT_TRUE(listed(*hub).empty()) << "404 from the hub is an empty list";
    std::optional<Error> error;
    ASSERT_TRUE(hub->registerNativeWithDeviceToken(kToken, {"news"}, error)) << error->message;
    ASSERT_TRUE(client(connectionString())->registerNativeWithDeviceToken(kToken, {"sport"}, error)) << error->message;

    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u) << "the second call updated the first registration";
    EXPECT_EQ(registrations[0]->deviceToken, kTokenText);
    EXPECT_EQ(registrations[0]->tags, (std::set<std::string>{"sport"}));
    EXPECT_EQ(registrations[0]->ETag, "2");
    EXPECT_EQ(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId,
              registrations[0]->registrationId);
}

TEST_F(HubDevServerTest, WrapTokenFromTheTokenServiceIsAccepted) {
    auto hub = client(connectionString("--issuer"));
    ASSERT_TRUE(hub);
    EXPECT_FALSE(hub->tokenProvider().usesSharedAccessSignature());
    std::optional<Error> error;
    ASSERT_TRUE(hub->registerNativeWithDeviceToken(kToken, {}, error)) << error->message;
    EXPECT_EQ(listed(*hub).size(), 1u);
}

TEST_F(HubDevServerTest, HubRefusesAWrongKeyWithUnauthorized) {
    std::string connection = connectionString();
    connection.back() = connection.back() == 'A' ? 'B' : 'A';
    auto hub = client(connection);
    std::optional<Error> error;
    EXPECT_FALSE(hub->registerNativeWithDeviceToken(kToken, {}, error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NotificationHubClient");
    EXPECT_EQ(error->code, 401);

    std::promise<std::optional<Error>> promise;
    hub->registerNativeWithDeviceToken(kToken, {}, [&](std::optional<Error> failure) { promise.set_value(failure); });
    const auto asynchronous = promise.get_future().get();
    ASSERT_TRUE(asynchronous);
    EXPECT_EQ(asynchronous->message, "URLRequest failed for GET " + _server.origin() +
                                         "/hub/devhub/Registrations/?$filter=deviceToken+eq+'C0FFEE01'&api-version="
                                         "2013-04 with status code: Unauthorized");
}

TEST_F(HubDevServerTest, WrongIssuerSecretGetsNoToken) {
    const std::string connection = connectionString("--issuer");
    const auto secretAt = connection.find("SharedSecretValue=") + 18;
    std::string wrong = connection;
    wrong.replace(secretAt, 4, wrong.compare(secretAt, 4, "AAAA") == 0 ? "BBBB" : "AAAA");
    std::optional<Error> error;
    EXPECT_FALSE(client(wrong)->registerNativeWithDeviceToken(kToken, {}, error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 401);
    EXPECT_EQ(error->message.rfind("Fail to request token. Response:", 0), 0u) << error->message;
}

TEST_F(HubDevServerTest, SignaturesMadeAfter2038AreStillValidAndExpiredOnesAreNot) {
    std::optional<Error> error;
    auto future = client(connectionString(), clockAt(4102444800)); // 2100-01-01
    EXPECT_TRUE(future->registerNativeWithDeviceToken(kToken, {}, error)) << error->message;

    auto past = client(_directory.path() / "past", connectionString(), clockAt(1000000000));
    EXPECT_FALSE(past->registerNativeWithDeviceToken(kToken, {}, error));
    EXPECT_EQ(error->code, 401);
}

TEST_F(HubDevServerTest, ForgottenRegistrationIsReplacedByANewOne) {
    auto hub = client(connectionString());
    std::optional<Error> error;
    ASSERT_TRUE(hub->registerNativeWithDeviceToken(kToken, {}, error));
    const std::string first =
        hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId;
    const auto forget = _server.admin("hub-forget", "--registration-id", first);
    ASSERT_EQ(forget.exitCode, 0) << forget.err;
    ASSERT_TRUE(hub->registerNativeWithDeviceToken(kToken, {}, error)) << error->message;
    const std::string second =
        hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId;
    EXPECT_NE(second, first);
    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0]->registrationId, second);
    EXPECT_EQ(_server.admin("hub-forget", "--registration-id", "no-such-id").exitCode, 1);
}

TEST_F(HubDevServerTest, TemplateBodiesSurviveTheRoundTrip) {
    auto hub = client(connectionString());
    const std::string body = R"json({"aps":{"alert":"$(message) ]]> <&>"}})json";
    std::optional<Error> error;
    ASSERT_TRUE(hub->registerTemplateWithDeviceToken(kToken, "alerts", body, "$(expiry)", {"a<b"}, error))
        << error->message;
    const auto registrations = listed(*hub);
    ASSERT_EQ(registrations.size(), 1u);
    const auto* templated = dynamic_cast<const HubTemplateRegistration*>(registrations[0].get());
    ASSERT_NE(templated, nullptr);
    EXPECT_EQ(templated->bodyTemplate, body);
    EXPECT_EQ(templated->templateName, "alerts");
    EXPECT_EQ(templated->expiry, "$(expiry)");
    EXPECT_EQ(templated->tags, (std::set<std::string>{"a<b"}));

    ASSERT_TRUE(hub->unregisterTemplateWithName("alerts", error)) << error->message;
    EXPECT_TRUE(listed(*hub).empty());
}

TEST_F(HubDevServerTest, UnregisterAllRemovesTheRegistrationsOfOtherInstallationsToo) {
    const std::string connection = connectionString();
    std::optional<Error> error;
    ASSERT_TRUE(client(_directory.path() / "a", connection)->registerNativeWithDeviceToken(kToken, {}, error));
    // A current but empty store skips the refresh, so this installation makes a second "$Default" of the token.
    UserDefaults(std::function<std::filesystem::path()>([this] {
        return _directory.path() / "b";
    })).setString("devhub-version", "v1.0.0");
    auto second = client(_directory.path() / "b", connection);
    ASSERT_TRUE(second->registerNativeWithDeviceToken(kToken, {}, error));
    ASSERT_EQ(listed(*second).size(), 2u);

    std::optional<std::optional<Error>> outcome;
    _mainQueue->post([&] { second->unregisterAllWithDeviceToken(kToken, [&](auto failure) { outcome = failure; }); });
    ASSERT_TRUE(_mainQueue->runUntil([&] { return outcome.has_value(); }, 30s));
    EXPECT_FALSE(*outcome);
    EXPECT_TRUE(listed(*second).empty());
    EXPECT_TRUE(second->storageManager().registrations().empty());
}

TEST_F(HubDevServerTest, FaultSwitchStatusReachesTheCaller) {
    auto hub = client(connectionString());
    ASSERT_EQ(_server.admin("fault", "--endpoint", "/hub/devhub/registrationids", "--status", "503").exitCode, 0);
    std::optional<Error> error;
    EXPECT_FALSE(hub->registerNativeWithDeviceToken(kToken, {}, error));
    EXPECT_EQ(error->code, 503);
}

class HubCommandTest : public HubDevServerTest {
protected:
    // Runs `vexaqr hub args...`; standard output and the exit status.
    static DevServer::AdminResult vexaqr(std::vector<std::string> args) {
        std::string command = std::string("'") + VEXAQR_CLI_PATH + "' hub";
        for (const auto& arg : args)
            command += " '" + arg + "'";
        return shell(command);
    }

    static DevServer::AdminResult shell(const std::string& command) {
        DevServer::AdminResult result;
        std::array<char, 4096> buffer{};
        FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
        if (!pipe)
            return result;
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
            result.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    std::vector<std::string> hubArgs(const std::string& command, const std::string& connection) {
        return {command,
                "--connection-string",
                connection,
                "--hub-name",
                "devhub",
                "--data-dir",
                (_directory.path() / "cli").string()};
    }
};

TEST_F(HubCommandTest, RegistersListsAndUnregisters) {
    const std::string connection = connectionString("--issuer");
    auto registerArgs = hubArgs("register", connection);
    registerArgs.insert(registerArgs.end(), {"--device-token", kTokenText, "--tags", "a,b"});
    const auto registered = vexaqr(registerArgs);
    ASSERT_EQ(registered.exitCode, 0);
    EXPECT_TRUE(registered.out.starts_with("$Default ")) << registered.out;

    auto listArgs = hubArgs("list", connection);
    listArgs.insert(listArgs.end(), {"--device-token", kTokenText});
    const auto listing = vexaqr(listArgs);
    EXPECT_EQ(listing.exitCode, 0);
    EXPECT_NE(listing.out.find(" C0FFEE01 a,b\n"), std::string::npos) << listing.out;

    EXPECT_EQ(vexaqr(hubArgs("unregister", connection)).exitCode, 0);
    EXPECT_EQ(vexaqr(listArgs).out, "");
}

TEST_F(HubCommandTest, UsageMistakesExitTwoAndFailuresOne) {
    const std::string connection = connectionString();
    auto badToken = hubArgs("register", connection);
    badToken.insert(badToken.end(), {"--device-token", "xyz"});
    EXPECT_EQ(vexaqr(badToken).exitCode, 2);
    EXPECT_EQ(vexaqr({"register", "--hub-name", "devhub"}).exitCode, 2);
    auto unreachable =
        hubArgs("unregister-all", "Endpoint=http://127.0.0.1:1/hub/;SharedAccessKeyName=a;SharedAccessKey=b");
    unreachable.insert(unreachable.end(), {"--device-token", kTokenText});
    EXPECT_EQ(vexaqr(unreachable).exitCode, 1);
    EXPECT_EQ(vexaqr({"token", "--connection-string", "nonsense", "--url", "http://x/"}).exitCode, 1);
}

TEST_F(HubCommandTest, TokenPrintsTheAuthorizationValue) {
    const auto vector = hubVectors()["sharedAccessSignatures"][2];
    const auto token = vexaqr({"token", "--connection-string",
                               "Endpoint=sb://demo-ns.example.net/;SharedAccessKeyName=rule;SharedAccessKey=secret",
                               "--url", vector["url"].get<std::string>(), "--now", "2200000000"});
    EXPECT_EQ(token.exitCode, 0);
    EXPECT_EQ(token.out, vector["authorization"].get<std::string>() + "\n");

    const auto wrap = vexaqr({"token", "--connection-string", connectionString("--issuer"), "--url",
                              _server.origin() + "/hub/devhub/Registrations/?api-version=2013-04"});
    EXPECT_EQ(wrap.exitCode, 0);
    EXPECT_TRUE(wrap.out.starts_with("WRAP access_token=\"")) << wrap.out;
}

} // namespace
} // namespace vexaqr::test
