// Every kind of hub request (the token request, listing, creating an identifier, the upsert, the delete)
// against the devserver's hub with the network failing as real ones do: nobody listening, a reset
// mid-reply, a reply one byte at a time, the reply cut after every byte, a 500 with a huge body. Each time
// the operation fails with an error and never reports success.
#include "support/DevServer.hpp"
#include "support/FaultyPeer.hpp"
#include "support/TempDirectory.hpp"

#include "account/hub/UserDefaults.hpp"
#include "account/platform/CurlHttpClient.hpp"
#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <algorithm>

namespace vexaqr::test {
namespace {

// Each run registers a device the hub has not seen yet, so that every run makes the same requests: a device
// the hub knows skips asking for a new registration identifier.
Bytes& deviceTokenOfThisRun() {
    static Bytes token = {0xC0, 0xFF, 0xEE, 0x00, 0x00};
    return token;
}

void takeANewDevice() {
    auto& token = deviceTokenOfThisRun();
    if (++token[4] == 0)
        ++token[3];
}

// The real client with every request's timeout capped, so that a test of the timeout stays short.
class CappedTimeoutHttpClient final : public HttpClient {
public:
    CappedTimeoutHttpClient(std::shared_ptr<HttpClient> inner, std::chrono::milliseconds cap)
        : _inner(std::move(inner)), _cap(cap) {}
    void send(HttpRequest request, Completion completion) override {
        request.timeout = std::min(request.timeout, _cap);
        _inner->send(std::move(request), std::move(completion));
    }

private:
    std::shared_ptr<HttpClient> _inner;
    std::chrono::milliseconds _cap;
};

int portOf(const std::string& origin) {
    return std::stoi(origin.substr(origin.rfind(':') + 1));
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// One hub operation: set-up through an undisturbed network, then the call under test. The credentials are the
// token service's: a shared access signature covers the hub's address, which the faulty peer changes.
struct HubCase {
    std::string name;
    const char* credentials; // the devserver's hub-connection-string option
    std::function<Outcome<void, Error>(NotificationHub&)> prepare;
    std::function<Outcome<void, Error>(NotificationHub&)> call;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const HubCase& c, std::ostream* out) {
    *out << c.name;
}

Outcome<void, Error> registerNative(NotificationHub& hub) {
    return hub.registerNativeWithDeviceToken(deviceTokenOfThisRun(), {"tag"});
}

Outcome<void, Error> nothing(NotificationHub&) {
    return {};
}

std::vector<HubCase> everyHubCase() {
    return {
        {"FirstRegistration", "--issuer", nothing, registerNative},
        {"Unregistration", "--issuer", registerNative, [](NotificationHub& hub) { return hub.unregisterNative(); }},
    };
}

class HubNetworkFaultTest : public testing::TestWithParam<HubCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        _connection = _server.hubConnectionString(GetParam().credentials);
        ASSERT_FALSE(_connection.empty());
    }

    // Runs the case on a fresh installation reaching the hub at `origin`; what the call returned.
    Outcome<void, Error> run(const std::string& origin,
                             std::shared_ptr<HttpClient> http = std::make_shared<CurlHttpClient>()) {
        takeANewDevice();
        TempDirectory installation;
        auto defaults = std::make_shared<UserDefaults>([&installation] { return installation.path(); });
        auto direct = NotificationHub::initWithConnectionString(_connection, "devhub", {_http, _loop, defaults, {}});
        EXPECT_TRUE(direct && GetParam().prepare(*direct));
        auto hub = NotificationHub::initWithConnectionString(replaceAll(_connection, _server.origin(), origin),
                                                             "devhub", {std::move(http), _loop, defaults, {}});
        EXPECT_TRUE(hub);
        if (!hub)
            return Error{"HubNetworkFaultTest", 1, "no hub"};
        return GetParam().call(*hub);
    }

    void expectFailure(const std::string& origin, const std::string& what,
                       std::shared_ptr<HttpClient> http = std::make_shared<CurlHttpClient>()) {
        const auto outcome = run(origin, std::move(http));
        ASSERT_FALSE(outcome) << what << " was reported as success";
        EXPECT_TRUE(outcome.failure()) << what << " failed without an error";
        ++_faultCases;
    }

    DevServer _server;
    FaultyPeer _peer{portOf(_server.origin())};
    std::string _connection;
    std::shared_ptr<HttpClient> _http = std::make_shared<CurlHttpClient>();
    std::shared_ptr<RunLoop> _loop = std::make_shared<RunLoop>();
    int _faultCases = 0;
};

TEST_P(HubNetworkFaultTest, NobodyListeningFails) {
    expectFailure(FaultyPeer::closedOrigin(), "a refused connection");
}

// The replies' lengths vary from run to run (the tokens are random), so the cuts are counted from the end:
// every run loses at least one byte of the reply it is given.
TEST_P(HubNetworkFaultTest, EveryRequestCutAfterAnyByteFails) {
    _peer.setFault(FaultyPeer::Fault::none);
    const auto clean = run(_peer.origin());
    ASSERT_TRUE(clean) << clean.failure().message;
    const auto replies = _peer.realReplies();
    ASSERT_FALSE(replies.empty());
    for (std::size_t request = 0; request < replies.size(); ++request) {
        for (std::size_t dropped = 1; dropped <= replies[request].size(); ++dropped) {
            _peer.setFault(FaultyPeer::Fault::cutShort, dropped, {}, static_cast<int>(request));
            expectFailure(_peer.origin(), "request " + std::to_string(request) + " without its last " +
                                              std::to_string(dropped) + " bytes");
        }
    }
    _peer.setFault(FaultyPeer::Fault::none);
    const auto again = run(_peer.origin());
    EXPECT_TRUE(again) << again.failure().message;
    RecordProperty("faultCases", _faultCases);
}

TEST_P(HubNetworkFaultTest, EveryRequestResetMidReplyFails) {
    ASSERT_TRUE(run(_peer.origin()));
    const auto replies = _peer.realReplies();
    for (std::size_t request = 0; request < replies.size(); ++request) {
        _peer.setFault(FaultyPeer::Fault::reset, replies[request].size() / 2, {}, static_cast<int>(request));
        expectFailure(_peer.origin(), "request " + std::to_string(request) + " reset");
    }
}

TEST_P(HubNetworkFaultTest, AReplyOneByteAtATimeEndsAtTheTimeout) {
    _peer.setFault(FaultyPeer::Fault::drip, 0, std::chrono::milliseconds(100));
    const auto started = std::chrono::steady_clock::now();
    expectFailure(_peer.origin(), "a dripping reply",
                  std::make_shared<CappedTimeoutHttpClient>(_http, std::chrono::milliseconds(700)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
}

TEST_P(HubNetworkFaultTest, A500WithAHugeBodyFails) {
    _peer.setFault(FaultyPeer::Fault::huge500, 24 * 1024 * 1024);
    expectFailure(_peer.origin(), "a huge 500");
}

INSTANTIATE_TEST_SUITE_P(EveryHubRequest, HubNetworkFaultTest, testing::ValuesIn(everyHubCase()),
                         [](const testing::TestParamInfo<HubCase>& info) { return info.param.name; });

} // namespace
} // namespace vexaqr::test
