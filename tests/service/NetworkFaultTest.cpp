// Every backend operation against the devserver with the network failing in each way a real one does:
// nobody listening, the connection reset mid-reply, a reply one byte at a time, the reply cut after every
// byte, a 500 with a huge body. Each time the completion runs once, with a transport error and no record;
// only the whole reply gives what the undisturbed exchange gives.
#include "ServiceTestSupport.hpp"
#include "support/DevServer.hpp"
#include "support/FaultyPeer.hpp"

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

namespace vexaqr::test {
namespace {

constexpr const char* kAppId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

// How one call ended.
struct Outcome {
    int calls = 0;
    bool record = false;
    std::optional<Error> error;
};

using Call = std::function<void(const WebServiceEnvironment&, std::function<void(bool, std::optional<Error>)>)>;

struct Operation {
    std::string name;
    Call call;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const Operation& c, std::ostream* out) {
    *out << c.name;
}

template <class Service, class Method, class Request>
Operation operation(std::string name, Method method, Request request) {
    return {std::move(name), [method, request](const WebServiceEnvironment& environment, auto done) {
                auto service = std::make_shared<Service>(environment);
                ((*service).*method)(request, [service, done](auto record, std::optional<Error> error) {
                    done(record.has_value(), std::move(error));
                });
            }};
}

std::vector<Operation> everyOperation() {
    return {
        operation<RegistrationService>(
            "registration", &RegistrationService::registerAccount,
            Registration::RequestModel{"net@example.org", "P1", false, std::nullopt, kAppId}),
        operation<ActivationService>("activation", &ActivationService::activateAccount,
                                     Activation::RequestModel{"CODE", kAppId}),
        operation<UpdateKeysService>("update keys", &UpdateKeysService::updateKeys,
                                     UpdateKeys::RequestModel{kAppId, "-----BEGIN PUBLIC KEY-----"}),
        operation<GetPublicKeyOfPartnerService>("partner key", &GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                                                GetPublicKeyOfPartner::RequestModel{kAppId}),
        operation<GetNotificationIdService>("notification id", &GetNotificationIdService::getNotificationId,
                                            GetNotificationId::RequestModel{"P1", "0a0b"}),
        operation<RegisterPushNotificationService>("push registration",
                                                   &RegisterPushNotificationService::registerPushNotification,
                                                   RegisterPushNotification::RequestModel{"P1", kAppId, "N7", "0a0b"}),
        operation<VexaQrMessageIdListService>("message list", &VexaQrMessageIdListService::getVexaQrMessageIdList,
                                              VexaQrMessageIdList::RequestModel{kAppId}),
        operation<VexaQrMessageService>("message", &VexaQrMessageService::getVexaQrMessage,
                                        VexaQrMessage::RequestModel{kAppId, "m-1"}),
        operation<DeleteVexaQrMessageService>("message deletion", &DeleteVexaQrMessageService::deleteVexaQrMessage,
                                              DeleteVexaQrMessage::RequestModel{kAppId, "m-1"}),
        operation<DeleteAllVexaQrMessageService>("deletion of all messages",
                                                 &DeleteAllVexaQrMessageService::deleteAllVexaQrMessage,
                                                 DeleteAllVexaQrMessage::RequestModel{kAppId}),
    };
}

int portOf(const std::string& origin) {
    return std::stoi(origin.substr(origin.rfind(':') + 1));
}

class NetworkFaultTest : public testing::TestWithParam<Operation> {
protected:
    void SetUp() override { ASSERT_TRUE(_server.isRunning()); }

    Outcome run(const std::string& origin, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        auto urls = std::make_shared<UrlProvider>();
        urls->setApiBaseUrl(*Url::fromString(origin + "/api/v1/client"));
        WebServiceEnvironment environment{.httpClient = _http, .mainQueue = _loop, .urlProvider = urls};
        environment.timeoutInterval = timeout;
        Outcome outcome;
        GetParam().call(environment, [&outcome](bool record, std::optional<Error> error) {
            ++outcome.calls;
            outcome.record = record;
            outcome.error = std::move(error);
        });
        EXPECT_TRUE(_loop->runUntil([&] { return outcome.calls > 0; }, timeout + std::chrono::seconds(10)));
        _loop->runFor(std::chrono::milliseconds(0));
        return outcome;
    }

    static void expectTransportFailure(const Outcome& outcome, const std::string& what) {
        EXPECT_EQ(outcome.calls, 1) << what;
        EXPECT_FALSE(outcome.record) << what << ": a spoiled reply was taken as a record";
        ASSERT_TRUE(outcome.error) << what << ": a spoiled reply was taken as success";
        EXPECT_EQ(outcome.error->domain, kHttpClientErrorDomain) << what << ": " << outcome.error->message;
    }

    DevServer _server;
    FaultyPeer _peer{portOf(_server.origin())};
    std::shared_ptr<HttpClient> _http = std::make_shared<CurlHttpClient>();
    std::shared_ptr<RunLoop> _loop = std::make_shared<RunLoop>();
};

TEST_P(NetworkFaultTest, NobodyListeningIsACannotConnectError) {
    const Outcome outcome = run("http://127.0.0.1:" + std::to_string(closedLoopbackPort()));
    expectTransportFailure(outcome, "refused");
    EXPECT_EQ(outcome.error->code, static_cast<std::int64_t>(HttpClientErrorCode::cannotConnect));
}

TEST_P(NetworkFaultTest, AReplyCutAfterAnyByteIsALostConnection) {
    const Outcome whole = run(_peer.origin());
    const auto replies = _peer.realReplies();
    ASSERT_EQ(replies.size(), 1u);
    const std::size_t length = replies.front().size();
    ASSERT_GT(length, 20u);
    for (std::size_t keep = 0; keep < length; ++keep) {
        _peer.setFault(FaultyPeer::Fault::cut, keep);
        expectTransportFailure(run(_peer.origin()), "cut after " + std::to_string(keep) + " bytes");
    }
    _peer.setFault(FaultyPeer::Fault::cut, length);
    const Outcome again = run(_peer.origin());
    EXPECT_EQ(again.record, whole.record);
    EXPECT_EQ(again.error.has_value(), whole.error.has_value());
    RecordProperty("cutPositions", static_cast<int>(length));
}

TEST_P(NetworkFaultTest, AResetMidReplyIsALostConnection) {
    run(_peer.origin());
    const std::size_t length = _peer.realReplies().front().size();
    for (std::size_t keep : {std::size_t{0}, std::size_t{12}, length / 2, length - 1}) {
        _peer.setFault(FaultyPeer::Fault::reset, keep);
        expectTransportFailure(run(_peer.origin()), "reset after " + std::to_string(keep) + " bytes");
    }
}

TEST_P(NetworkFaultTest, AReplyOneByteAtATimeEndsAtTheTimeout) {
    _peer.setFault(FaultyPeer::Fault::drip, 0, std::chrono::milliseconds(100));
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = run(_peer.origin(), std::chrono::milliseconds(700));
    const auto took = std::chrono::steady_clock::now() - started;
    expectTransportFailure(outcome, "drip");
    EXPECT_EQ(outcome.error->code, static_cast<std::int64_t>(HttpClientErrorCode::timedOut));
    // Generous: the point is that a reply that keeps trickling does not extend the timeout.
    EXPECT_LT(took, std::chrono::seconds(8));
}

TEST_P(NetworkFaultTest, A500WithAHugeBodyFailsWithoutTakingTheBody) {
    _peer.setFault(FaultyPeer::Fault::huge500, 24 * 1024 * 1024);
    const Outcome outcome = run(_peer.origin());
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.record);
    ASSERT_TRUE(outcome.error);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, NetworkFaultTest, testing::ValuesIn(everyOperation()),
                         [](const testing::TestParamInfo<Operation>& info) {
                             std::string name;
                             for (char c : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

} // namespace
} // namespace vexaqr::test
