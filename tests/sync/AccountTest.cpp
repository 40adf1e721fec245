// The blocking account calls against the devserver: the whole flow, and each way a call can fail.
#include "account/hub/UserDefaults.hpp"
#include <vexaqr/sync/Account.hpp>

#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include <netinet/in.h>
#include <sys/socket.h>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;

class AccountTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        ASSERT_EQ(_server.admin("partner", "--partner-id", "SYNC-PARTNER", "--bits", "1024").exitCode, 0);
    }

    AccountOptions options(std::string baseUrl = {}) {
        return {.dataDirectory = _directory.path() / "data",
                .baseUrl = baseUrl.empty() ? _server.apiBaseUrl() : baseUrl,
                .hub = HubConnection{"sync-hub", _server.hubConnectionString()},
                .timeout = 60s,
                .logging = false};
    }

    AccountRegistration activatedRegistration() {
        const auto code = _server.admin("activation-code", "--partner-id", "SYNC-PARTNER", "--email", "s@example.org");
        return {.email = "s@example.org",
                .partnerId = "SYNC-PARTNER",
                .force = false,
                .activation = ActivationDetails{
                    .activationCode = code.line(), .partnerId = {}, .deviceToken = {0x0a, 0xff}, .keyBits = 1024}};
    }

    std::string postMessage(const Uuid& appId, const std::string& text) {
        const auto content = _directory.path() / "message.txt";
        std::ofstream(content) << text;
        const auto posted = _server.admin("message", "--app-id", appId.uuidString(), "--type", "secured", "--content",
                                          content.string());
        EXPECT_EQ(posted.exitCode, 0) << posted.err;
        return posted.line();
    }

    test::TempDirectory _directory;
    test::DevServer _server;
};

TEST_F(AccountTest, RegistersActivatesFetchesDeletesAndLogsOut) {
    Account account(options());
    ASSERT_TRUE(account.state());
    EXPECT_EQ(account.state()->state, VexaQrSDKRegistrationState::initial);
    EXPECT_EQ(account.messages().failure().reason, FailureReason::notRegistered);
    EXPECT_EQ(account.appUniqueId().failure().reason, FailureReason::notRegistered);

    const auto registered = account.registerAccount(activatedRegistration());
    ASSERT_TRUE(registered) << registered.failure().message;
    EXPECT_EQ(registered->state, VexaQrSDKRegistrationState::active);
    EXPECT_EQ(registered->email, "s@example.org");
    const auto appId = account.appUniqueId();
    ASSERT_TRUE(appId);
    EXPECT_EQ(registered->appUniqueId, *appId);

    const auto first = postMessage(*appId, "first");
    const auto second = postMessage(*appId, "second");
    const auto fetched = account.messages();
    ASSERT_TRUE(fetched) << fetched.failure().message;
    EXPECT_FALSE(fetched->backendFailure);
    ASSERT_EQ(fetched->messages.size(), 2u);
    EXPECT_EQ(fetched->messages[0].vxaMessageId, first);
    ASSERT_TRUE(fetched->messages[0].processedVxaData);
    EXPECT_TRUE(fetched->messages[0].processedVxaData->isValid());
    EXPECT_EQ(fetched->messages[0].processedVxaData->actualVxaData, toBytes("first"));

    // When the backend fails, the messages of the last fetch come from the cache, with the reason.
    ASSERT_EQ(_server.admin("fault", "--endpoint", "/getvxalist", "--status", "500", "--times", "1").exitCode, 0);
    const auto cached = account.messages();
    ASSERT_TRUE(cached) << cached.failure().message;
    ASSERT_TRUE(cached->backendFailure);
    EXPECT_NE(cached->backendFailure->message.find("HTTP 500 from " + _server.apiBaseUrl()), std::string::npos)
        << cached->backendFailure->message;
    EXPECT_EQ(cached->messages.size(), 2u);

    EXPECT_TRUE(account.deleteMessage(first));
    const auto afterDelete = account.messages();
    ASSERT_TRUE(afterDelete);
    ASSERT_EQ(afterDelete->messages.size(), 1u);
    EXPECT_EQ(afterDelete->messages[0].vxaMessageId, second);
    EXPECT_TRUE(account.deleteMessages());
    EXPECT_TRUE(account.messages()->messages.empty());

    const auto loggedOut = account.logout();
    ASSERT_TRUE(loggedOut);
    EXPECT_EQ(loggedOut->state, VexaQrSDKRegistrationState::initial);
    EXPECT_EQ(account.deleteMessages().failure().reason, FailureReason::notRegistered);

    // A second account object on the same directory sees what the first stored.
    Account again(options());
    EXPECT_EQ(again.state()->state, VexaQrSDKRegistrationState::initial);
}

// A port that accepts connections and never answers.
class SilentPort {
public:
    SilentPort() : _socket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(_socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(_socket, 4) == 0 &&
            ::getsockname(_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            _port = ntohs(address.sin_port);
    }
    ~SilentPort() { ::close(_socket); }
    int port() const { return _port; }

private:
    int _socket;
    int _port = 0;
};

// Each account works on its own directory only: keys, settings and the hub's registration included.
TEST_F(AccountTest, TwoAccountsInOneProcessKeepTheirInstallationsApart) {
    auto optionsIn = [this](const char* name) {
        auto inDirectory = options();
        inDirectory.dataDirectory = _directory.path() / name;
        return inDirectory;
    };
    Account first(optionsIn("first"));
    Account second(optionsIn("second"));
    const auto registered = first.registerAccount(activatedRegistration());
    ASSERT_TRUE(registered) << registered.failure().message;
    ASSERT_TRUE(second.state());
    EXPECT_EQ(second.state()->state, VexaQrSDKRegistrationState::initial);
    EXPECT_EQ(second.messages().failure().reason, FailureReason::notRegistered);

    postMessage(*registered->appUniqueId, "for the first");
    const auto fetched = first.messages(); // opened with the keys the activation kept in the first directory
    ASSERT_TRUE(fetched) << fetched.failure().message;
    ASSERT_EQ(fetched->messages.size(), 1u);
    EXPECT_EQ(fetched->messages[0].processedVxaData->actualVxaData, toBytes("for the first"));
    const auto hubEntries = [this](const char* name) {
        return UserDefaults([this, name] { return _directory.path() / name; })
            .stringArrayForKey("sync-hub-registrations")
            .value_or(std::vector<std::string>{})
            .size();
    };
    EXPECT_EQ(hubEntries("first"), 1u);
    EXPECT_EQ(hubEntries("second"), 0u);
}

TEST_F(AccountTest, EachFailureHasItsReasonAndAMessageThatNamesTheCause) {
    const auto registration = activatedRegistration();
    const SilentPort silent;
    ASSERT_NE(silent.port(), 0);
    const struct {
        const char* name;
        std::string baseUrl;
        AccountRegistration registration;
        FailureReason reason;
        std::string inMessage;
    } cases[] = {
        {"unknown partner",
         "",
         {.email = "s@example.org", .partnerId = "NOBODY"},
         FailureReason::backendRefused,
         "result 14003"},
        {"wrong path", _server.origin() + "/nothing-here", registration, FailureReason::backendUnreachable,
         "HTTP 404 from " + _server.origin() + "/nothing-here"},
        {"closed port", "http://127.0.0.1:1/api", registration, FailureReason::backendUnreachable,
         "http://127.0.0.1:1/api cannot be reached"},
        {"bad key size",
         "",
         {.email = "s@example.org",
          .partnerId = "SYNC-PARTNER",
          .activation = ActivationDetails{.activationCode = "C", .keyBits = 512}},
         FailureReason::invalidOptions,
         "512"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Account account(options(c.baseUrl));
        const auto outcome = account.registerAccount(c.registration);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.failure().reason, c.reason);
        EXPECT_NE(outcome.failure().message.find(c.inMessage), std::string::npos) << outcome.failure().message;
    }

    AccountOptions silentOptions = options("http://127.0.0.1:" + std::to_string(silent.port()) + "/api");
    silentOptions.timeout = 300ms;
    const auto started = std::chrono::steady_clock::now();
    const auto timedOut = Account(silentOptions).registerAccount(registration);
    ASSERT_FALSE(timedOut);
    EXPECT_EQ(timedOut.failure().reason, FailureReason::timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);

    AccountOptions noHub = options();
    noHub.hub.reset();
    const auto withoutHub = Account(noHub).registerAccount(registration);
    ASSERT_FALSE(withoutHub);
    EXPECT_EQ(withoutHub.failure().reason, FailureReason::invalidOptions);
    EXPECT_NE(withoutHub.failure().message.find("hub"), std::string::npos);
}

TEST_F(AccountTest, BackendResultCodesComeWithTheirNumber) {
    Account account(options());
    const auto refused =
        account.registerAccount({.email = "s@example.org",
                                 .partnerId = "SYNC-PARTNER",
                                 .force = false,
                                 .activation = ActivationDetails{.activationCode = "WRONG", .keyBits = 1024}});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().reason, FailureReason::backendRefused);
    ASSERT_TRUE(refused.failure().resultCode);
    EXPECT_EQ(*refused.failure().resultCode, 14106); // activation code is invalid
}

} // namespace
} // namespace vexaqr
