#include "LoopbackServer.hpp"

#include "account/platform/CurlHttpClient.hpp"

#include <gtest/gtest.h>

#include <future>

namespace vexaqr::test {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    HttpResult result;
    std::thread::id thread;
};

// Sends one request and waits for its completion (not by sleeping: the future is set by the completion).
Outcome exchange(HttpClient& client, HttpRequest request) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    auto future = promise->get_future();
    client.send(std::move(request), [promise](HttpResult result) {
        promise->set_value({std::move(result), std::this_thread::get_id()});
    });
    EXPECT_EQ(future.wait_for(20s), std::future_status::ready);
    return future.get();
}

HttpRequest post(const std::string& url, std::string body = "{}") {
    return HttpRequest{"POST", url, {{"Content-Type", "application/json"}}, toBytes(body), 5000ms};
}

std::int64_t code(HttpClientErrorCode value) {
    return static_cast<std::int64_t>(value);
}

TEST(CurlHttpClientTest, DeliversStatusHeadersAndBodyOnItsOwnThread) {
    LoopbackServer server([](const httplib::Request& request, httplib::Response& response) {
        response.status = 202;
        response.set_header("X-Echo", request.get_header_value("X-Test"));
        response.set_content("reply:" + request.body, "text/plain");
    });
    CurlHttpClient client;
    auto request = post(server.origin() + "/path?q=1", "hello");
    request.headers.emplace_back("X-Test", "value");
    const auto outcome = exchange(client, request);
    ASSERT_FALSE(outcome.result.error);
    ASSERT_TRUE(outcome.result.response);
    EXPECT_EQ(outcome.result.response->statusCode, 202);
    EXPECT_EQ(outcome.result.body, toBytes("reply:hello"));
    EXPECT_NE(std::find(outcome.result.response->headers.begin(), outcome.result.response->headers.end(),
                        std::pair<std::string, std::string>{"X-Echo", "value"}),
              outcome.result.response->headers.end());
    EXPECT_NE(outcome.thread, std::this_thread::get_id());
    const auto seen = server.requests().at(0);
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/path");
    EXPECT_EQ(seen.body, "hello");
    EXPECT_EQ(seen.headers.count("Expect"), 0u);
}

TEST(CurlHttpClientTest, SequentialRequestsReuseOneConnection) {
    LoopbackServer server;
    CurlHttpClient client;
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(exchange(client, post(server.origin() + "/x")).result.error);
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].remotePort, requests[1].remotePort);
    EXPECT_EQ(requests[1].remotePort, requests[2].remotePort);
}

TEST(CurlHttpClientTest, TransportFailuresSayWhatHappened) {
    CurlHttpClient client;
    const auto refused =
        exchange(client, post("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/x")).result;
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->domain, kHttpClientErrorDomain);
    EXPECT_EQ(refused.error->code, code(HttpClientErrorCode::cannotConnect));
    EXPECT_FALSE(refused.response || refused.body);

    RawSocketServer silent(RawSocketServer::Behaviour::neverAccept);
    auto request = post(silent.origin() + "/x");
    request.timeout = 200ms;
    EXPECT_EQ(exchange(client, request).result.error->code, code(HttpClientErrorCode::timedOut));

    EXPECT_EQ(exchange(client, post("ftp://127.0.0.1/x")).result.error->code, code(HttpClientErrorCode::badUrl));
}

TEST(CurlHttpClientTest, HeadersThatWouldSplitTheRequestAreRefusedBeforeSending) {
    LoopbackServer server;
    CurlHttpClient client;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"X-Name", "value\r\nX-Injected: 1"},
             {"X-Name", "value\nX-Injected: 1"},
             {"X-Name", "value\rX-Injected: 1"},
             {"X-Name", std::string("cut\0X-Injected: 1", 18)},
             {"X-Injected: 1\r\nX-Name", "value"},
         }) {
        auto request = post(server.origin() + "/x");
        request.headers.emplace_back(name, value);
        const auto result = exchange(client, request).result;
        ASSERT_TRUE(result.error) << value;
        EXPECT_EQ(result.error->code, code(HttpClientErrorCode::badHeader)) << value;
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(CurlHttpClientTest, AnOversizedReplyHeadNamesTheLimit) {
    for (std::size_t lineLength : {std::size_t{70} * 1024, std::size_t{10} << 20}) {
        RawSocketServer server(RawSocketServer::Behaviour::answerAndClose,
                               "HTTP/1.1 200 OK\r\nX-Big: " + std::string(lineLength, 'a') + "\r\n\r\n{}");
        CurlHttpClient client;
        const auto result = exchange(client, post(server.origin() + "/x")).result;
        ASSERT_TRUE(result.error) << lineLength;
        EXPECT_EQ(result.error->code, code(HttpClientErrorCode::responseTooLarge)) << lineLength;
        EXPECT_EQ(result.error->message, "reply head larger than 65536 bytes") << lineLength;
    }
}

TEST(CurlHttpClientTest, ServerClosingMidReplyIsALostConnection) {
    RawSocketServer server(RawSocketServer::Behaviour::answerAndClose,
                           "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"res");
    CurlHttpClient client;
    const auto result = exchange(client, post(server.origin() + "/x")).result;
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, code(HttpClientErrorCode::connectionLost));
}

TEST(CurlHttpClientTest, ServerClosingInsideTheHeadIsALostConnectionNotAnEmptyReply) {
    for (const char* head : {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n",
                             "HTTP/1.1 200 OK\r\nContent-Le"}) {
        RawSocketServer server(RawSocketServer::Behaviour::answerAndClose, head);
        CurlHttpClient client;
        const auto result = exchange(client, post(server.origin() + "/x")).result;
        EXPECT_FALSE(result.response) << head;
        ASSERT_TRUE(result.error) << head;
        EXPECT_EQ(result.error->code, code(HttpClientErrorCode::connectionLost)) << head;
    }
}

TEST(CurlHttpClientTest, ServerClosingWithoutAnyReplyIsALostConnection) {
    RawSocketServer server(RawSocketServer::Behaviour::answerAndClose, "");
    CurlHttpClient client;
    EXPECT_EQ(exchange(client, post(server.origin() + "/x")).result.error->code,
              code(HttpClientErrorCode::connectionLost));
}

TEST(CurlHttpClientTest, BodiesAreBoundedByTheNamedLimit) {
    LoopbackServer server;
    CurlHttpClient small(CurlHttpClient::Options{1024, {}});
    server.setHandler(LoopbackServer::reply(200, std::string(1024, 'x')));
    EXPECT_EQ(exchange(small, post(server.origin() + "/x")).result.body->size(), 1024u);
    server.setHandler(LoopbackServer::reply(200, std::string(1025, 'x')));
    const auto tooLarge = exchange(small, post(server.origin() + "/x")).result;
    ASSERT_TRUE(tooLarge.error);
    EXPECT_EQ(tooLarge.error->code, code(HttpClientErrorCode::responseTooLarge));
    EXPECT_FALSE(tooLarge.body);

    CurlHttpClient standard;
    server.setHandler(LoopbackServer::reply(200, std::string(CurlHttpClient::kDefaultMaxResponseBytes + 1, 'x')));
    EXPECT_EQ(exchange(standard, post(server.origin() + "/x")).result.error->code,
              code(HttpClientErrorCode::responseTooLarge));
}

TEST(CurlHttpClientTest, DefaultLimitAdmitsAMessageCarryingTheLargestRecord) {
    const std::size_t largestRecordBase64 = (1024 * 1024 + 2) / 3 * 4;
    const std::string message = R"({"result": 0, "vxaData": ")" + std::string(largestRecordBase64, 'A') +
                                R"(", "vxaInfo": "", "vxaTemplate": ""})";
    LoopbackServer server(LoopbackServer::reply(200, message));
    CurlHttpClient client;
    const auto result = exchange(client, post(server.origin() + "/x")).result;
    ASSERT_FALSE(result.error) << result.error->message;
    EXPECT_EQ(result.body->size(), message.size());
}

TEST(CurlHttpClientTest, SelfSignedCertificateFailsVerification) {
    SelfSignedTlsServer server;
    CurlHttpClient client;
    const auto result = exchange(client, post(server.httpsOrigin() + "/x")).result;
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, code(HttpClientErrorCode::tlsFailure)) << result.error->message;
    EXPECT_TRUE(server.requests().empty());
}

TEST(CurlHttpClientTest, SlowRequestDoesNotHoldUpOthers) {
    std::promise<HttpResult> slowDone; // outlives the client, whose destruction completes the slow request
    RawSocketServer silent(RawSocketServer::Behaviour::neverAccept);
    LoopbackServer quick;
    CurlHttpClient client;
    auto slow = post(silent.origin() + "/x");
    slow.timeout = 10s;
    client.send(slow, [&slowDone](HttpResult result) { slowDone.set_value(std::move(result)); });
    EXPECT_FALSE(exchange(client, post(quick.origin() + "/x")).result.error);
    EXPECT_EQ(slowDone.get_future().wait_for(0s), std::future_status::timeout);
    // Leaving the scope destroys the client, which cancels the slow request.
}

TEST(CurlHttpClientTest, DestroyingTheClientCancelsWhatIsInFlight) {
    RawSocketServer silent(RawSocketServer::Behaviour::neverAccept);
    std::promise<HttpResult> done;
    {
        CurlHttpClient client;
        client.send(post(silent.origin() + "/x"), [&done](HttpResult result) { done.set_value(std::move(result)); });
    }
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(future.get().error->code, code(HttpClientErrorCode::cancelled));
}

TEST(CurlHttpClientTest, RequestSentWhileShuttingDownIsCancelledAfterTheSenderReturns) {
    RawSocketServer silent(RawSocketServer::Behaviour::neverAccept);
    bool firstSendReturned = false;
    std::optional<bool> chainedRanAfterSendReturned;
    std::optional<HttpResult> chainedResult;
    {
        CurlHttpClient client;
        client.send(post(silent.origin() + "/x"), [&](HttpResult) {
            // Cancelled by the destructor; chains another request, as a workflow would.
            client.send(post(silent.origin() + "/y"), [&](HttpResult result) {
                chainedRanAfterSendReturned = firstSendReturned;
                chainedResult = std::move(result);
            });
            firstSendReturned = true;
        });
    }
    ASSERT_TRUE(chainedRanAfterSendReturned) << "the chained completion must still run";
    EXPECT_TRUE(*chainedRanAfterSendReturned) << "ran on the sender's stack";
    ASSERT_TRUE(chainedResult && chainedResult->error);
    EXPECT_EQ(chainedResult->error->code, code(HttpClientErrorCode::cancelled));
}

TEST(CurlHttpClientTest, ClientReleasedFromItsOwnCompletionDoesNotDeadlock) {
    LoopbackServer server;
    auto client = std::make_shared<CurlHttpClient>();
    std::promise<void> released;
    client->send(post(server.origin() + "/x"), [owner = client, &released](HttpResult) mutable {
        owner.reset();
        released.set_value();
    });
    client.reset(); // the completion now holds the last reference
    EXPECT_EQ(released.get_future().wait_for(10s), std::future_status::ready);
}

} // namespace
} // namespace vexaqr::test
