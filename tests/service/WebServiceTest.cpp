#include "ServiceTestSupport.hpp"

#include "account/service/Registration.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/VexaQrMessage.hpp"

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

namespace vexaqr::test {
namespace {

using Model = UpdateKeys::ResponseModel;

class WebServiceTest : public ServiceTest {
protected:
    // One UpdateKeys exchange against the server's current handler.
    Received<Model> exchange(const std::shared_ptr<UpdateKeysService>& service) {
        Received<Model> received;
        service->updateKeys({"APP", "PEM"}, recordInto(received));
        EXPECT_TRUE(runUntilCalled(received));
        return received;
    }
    Received<Model> exchange() { return exchange(makeService<UpdateKeysService>()); }

    Received<Model> exchangeWithReply(int status, const std::string& body) {
        server.setHandler(LoopbackServer::reply(status, body));
        return exchange();
    }
};

TEST_F(WebServiceTest, Status200JsonIsAlwaysARecordWhateverTheTopLevelValue) {
    for (const std::string body : {"{}", "[1,2]", "42", "\"text\"", "null", "{\"result\": 14002}"}) {
        const auto received = exchangeWithReply(200, body);
        ASSERT_TRUE(received.record) << body;
        EXPECT_FALSE(received.error) << body;
        EXPECT_EQ(received.record->resultCode, body == "{\"result\": 14002}" ? 14002 : -1) << body;
        EXPECT_EQ(received.record->result(), Constant::Application::ResultCode::unknownResultCode) << body;
    }
}

TEST_F(WebServiceTest, RepliesShapedToExhaustMemoryAreParsingErrors) {
    const std::size_t depth = 1024 * 1024;
    const std::size_t emptyObjects = (CurlHttpClient::kDefaultMaxResponseBytes - 2) / 3; // just under the cap
    std::string manyObjects = "[";
    for (std::size_t i = 0; i < emptyObjects; ++i) {
        manyObjects += i ? ",{}" : "{}";
    }
    manyObjects += "]";
    for (const auto& body : {std::string(depth, '[') + std::string(depth, ']'), manyObjects}) {
        const auto received = exchangeWithReply(200, body);
        EXPECT_FALSE(received.record) << body.size();
        EXPECT_EQ(received.error, (Error{"JSON parsing error", 200, {}})) << body.size();
    }
}

TEST_F(WebServiceTest, Status200WithoutJsonIsAParsingError) {
    for (const std::string body : {"", "not json", "{\"result\": 0", "{\"s\": \"\xff\xfe\"}"}) {
        const auto received = exchangeWithReply(200, body);
        EXPECT_FALSE(received.record) << body;
        ASSERT_TRUE(received.error) << body;
        EXPECT_EQ(*received.error, (Error{"JSON parsing error", 200, {}})) << body;
    }
}

TEST_F(WebServiceTest, StatusOtherThan200IsAnErrorAndTheBodyIsNotDecoded) {
    for (const int status : {201, 404, 500}) {
        const auto received = exchangeWithReply(status, R"({"result": 0})");
        EXPECT_FALSE(received.record) << status;
        ASSERT_TRUE(received.error) << status;
        EXPECT_EQ(received.error->domain, "Status code: Optional(" + std::to_string(status) + ")");
        EXPECT_EQ(received.error->code, status) << received.error->message;
    }
}

TEST_F(WebServiceTest, EmptyBodyWithAStatusOtherThan200IsAStatusError) {
    const auto received = exchangeWithReply(204, "");
    EXPECT_EQ(received.error, (Error{"Status code: Optional(204)", 204, {}}));
}

TEST_F(WebServiceTest, TransportErrorFromAClosedPortIsPassedOnUnchanged) {
    urlProvider->setApiBaseUrl(*Url::fromString("http://127.0.0.1:" + std::to_string(closedLoopbackPort())));
    const auto received = exchange();
    ASSERT_TRUE(received.error);
    EXPECT_EQ(received.error->domain, kHttpClientErrorDomain);
    EXPECT_EQ(received.error->code, static_cast<std::int64_t>(HttpClientErrorCode::cannotConnect));
}

TEST_F(WebServiceTest, ShortInjectedTimeoutEndsAnUnansweredRequest) {
    RawSocketServer silent(RawSocketServer::Behaviour::neverAccept);
    urlProvider->setApiBaseUrl(*Url::fromString(silent.origin()));
    auto env = environment();
    env.timeoutInterval = 200ms;
    const auto received = exchange(std::make_shared<UpdateKeysService>(env));
    ASSERT_TRUE(received.error);
    EXPECT_EQ(*received.error, makeHttpClientError(HttpClientErrorCode::timedOut, {}));
}

TEST_F(WebServiceTest, CompletionRunsLaterOnTheMainQueueNeverOnTheCallersStack) {
    auto service = makeService<UpdateKeysService>();
    Received<Model> received;
    service->updateKeys({"APP", "PEM"}, recordInto(received));
    ASSERT_TRUE(httpClient->waitForHandled(1));
    EXPECT_EQ(received.calls, 0) << "must wait for the main queue";
    ASSERT_TRUE(runUntilCalled(received));
    EXPECT_TRUE(received.ranOnMainQueue);
    EXPECT_EQ(received.thread, std::this_thread::get_id());
    mainQueue->runUntilIdle();
    EXPECT_EQ(received.calls, 1);
}

// Answers from a thread of its own and lets go of the completion only when told to, so that a test sees on
// which thread what the completion holds is released.
class HeldCompletionHttpClient final : public HttpClient {
public:
    ~HeldCompletionHttpClient() override { release(); }

    void send(HttpRequest, Completion completion) override {
        _thread = std::thread([this, completion = std::move(completion)]() mutable {
            completion(HttpResult{toBytes(R"({"result": 0})"), HttpResponse{"http://x", 200, {}}, std::nullopt});
            _released.get_future().wait();
            completion = nullptr;
        });
    }

    void release() {
        if (_thread.joinable()) {
            _released.set_value();
            _thread.join();
        }
    }

private:
    std::promise<void> _released;
    std::thread _thread;
};

TEST_F(WebServiceTest, WhatTheCompletionHoldsIsReleasedOnTheMainQueue) {
    struct ReleaseWitness {
        std::thread::id& releasedOn;
        ~ReleaseWitness() { releasedOn = std::this_thread::get_id(); }
    };
    auto heldClient = std::make_shared<HeldCompletionHttpClient>();
    auto env = environment();
    env.httpClient = heldClient;
    auto service = std::make_shared<UpdateKeysService>(env);
    std::thread::id releasedOn;
    bool called = false;
    service->updateKeys({"APP", "PEM"}, [witness = std::make_shared<ReleaseWitness>(releasedOn),
                                         &called](std::optional<Model>, std::optional<Error>) { called = true; });
    ASSERT_TRUE(mainQueue->runUntil([&] { return called; }, 10s));
    heldClient->release(); // the HTTP thread lets go of its side only now
    EXPECT_EQ(releasedOn, std::this_thread::get_id());
}

TEST_F(WebServiceTest, ErrorsAreAlsoDeliveredOnTheMainQueue) {
    auto service = makeService<VexaQrMessageService>();
    Received<VexaQrMessage::ResponseModel> received;
    service->getVexaQrMessage({"APP", "bad id"}, recordInto(received));
    EXPECT_EQ(received.calls, 0);
    ASSERT_TRUE(runUntilCalled(received));
    EXPECT_TRUE(received.ranOnMainQueue);
}

TEST_F(WebServiceTest, ReplyForAServiceThatIsGoneIsDropped) {
    std::mutex gate;
    std::unique_lock hold(gate); // the server answers only once the service is gone
    server.setHandler([&gate](const httplib::Request&, httplib::Response& response) {
        std::lock_guard passed(gate);
        response.set_content(R"({"result": 0})", "application/json");
    });
    auto service = makeService<UpdateKeysService>();
    Received<Model> received;
    service->updateKeys({"APP", "PEM"}, recordInto(received));
    service.reset();
    hold.unlock();
    ASSERT_TRUE(httpClient->waitForHandled(1));
    mainQueue->runUntilIdle();
    EXPECT_EQ(received.calls, 0);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(WebServiceTest, InvalidMessageIdFailsThroughTheCompletionAndSendsNothing) {
    auto service = makeService<VexaQrMessageService>();
    for (const std::string id : {"with space", "bad%zz", "line\nbreak", "caf\xc3\xa9"}) {
        Received<VexaQrMessage::ResponseModel> received;
        service->getVexaQrMessage({"APP", id}, recordInto(received));
        ASSERT_TRUE(runUntilCalled(received));
        ASSERT_TRUE(received.error) << id;
        EXPECT_EQ(*received.error, (Error{"Invalid URL", -1, {}})) << id;
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(WebServiceTest, RequestWhoseTextIsNotUtf8IsSentWithoutBody) {
    LoggingScope logging(true);
    testing::internal::CaptureStdout();
    auto service = makeService<UpdateKeysService>();
    Received<Model> received;
    service->updateKeys({"APP", "PEM\xff"}, recordInto(received));
    ASSERT_TRUE(runUntilCalled(received));
    const auto printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, "");
    EXPECT_EQ(printed.find("POST REQUEST"), std::string::npos) << "no body, no request lines";
}

TEST_F(WebServiceTest, PostUrlRequestSetsMethodContentTypeBodyAndTimeout) {
    auto service = makeService<UpdateKeysService>();
    const auto url = *Url::fromString("http://example.test/x");
    const auto request = service->postUrlRequest(url, toBytes("{}"));
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "http://example.test/x");
    EXPECT_EQ(request.headers, (HttpHeaders{{"Content-Type", "application/json; charset=utf-8"}}));
    EXPECT_EQ(request.body, toBytes("{}"));
    EXPECT_EQ(request.timeout, 30s);
}

// A host-supplied client can report what the library's own never does: no body, or a reply not over HTTP.
class ScriptedHttpClient final : public HttpClient {
public:
    explicit ScriptedHttpClient(HttpResult result) : _result(std::move(result)) {}
    void send(HttpRequest, Completion completion) override {
        std::thread([completion, result = _result] { completion(result); }).detach();
    }

private:
    HttpResult _result;
};

TEST_F(WebServiceTest, MissingBodyAndRepliesNotOverHttpFollowTheirOwnRules) {
    struct Case {
        HttpResult result;
        Error expected;
    };
    const std::vector<Case> cases = {
        {HttpResult{std::nullopt, HttpResponse{"u", 204, {}}, std::nullopt}, Error{"Missing data", 204, {}}},
        {HttpResult{std::nullopt, std::nullopt, std::nullopt}, Error{"Missing data", -1, {}}},
        {HttpResult{toBytes("{}"), HttpResponse{"u", std::nullopt, {}}, std::nullopt},
         Error{"Status code: nil", -1, {}}},
        {HttpResult{toBytes("{}"), std::nullopt, std::nullopt}, Error{"Status code: nil", -1, {}}},
    };
    for (const auto& [result, expected] : cases) {
        auto env = environment();
        env.httpClient = std::make_shared<ScriptedHttpClient>(result);
        auto service = std::make_shared<UpdateKeysService>(env);
        Received<Model> received;
        service->updateKeys({"APP", "PEM"}, recordInto(received));
        ASSERT_TRUE(runUntilCalled(received));
        ASSERT_TRUE(received.error);
        EXPECT_EQ(*received.error, expected);
        mainQueue->runUntilIdle();
    }
}

class WebServiceLogTest : public WebServiceTest {
protected:
    // The printed lines of one exchange, after the HTTP thread has finished with the reply.
    std::string printedDuring(int status, const std::string& body) {
        server.setHandler(LoopbackServer::reply(status, body));
        testing::internal::CaptureStdout();
        auto service = makeService<UpdateKeysService>();
        Received<Model> received;
        service->updateKeys({"APP", "PEM"}, recordInto(received));
        EXPECT_TRUE(runUntilCalled(received));
        EXPECT_TRUE(httpClient->waitForHandled(++_exchanges));
        return testing::internal::GetCapturedStdout();
    }

    std::string requestLines() const {
        return "[DEBUG] POST REQUEST - " + server.origin() + "/api/v1/client/updatekeys\n" +
               R"([DEBUG] JSON DATA - {"appUniqueId":"APP","pemPublicKeyString":"PEM"})" + "\n";
    }

    int _exchanges = 0;
};

TEST_F(WebServiceLogTest, NothingIsPrintedWhileLoggingIsOff) {
    LoggingScope logging(false);
    EXPECT_EQ(printedDuring(200, R"({"result": 0})"), "");
    EXPECT_EQ(printedDuring(404, "{}"), "");
}

TEST_F(WebServiceLogTest, RequestAndStatus200ReplyArePrinted) {
    LoggingScope logging(true);
    EXPECT_EQ(printedDuring(200, "{\"result\":\n0}"), requestLines() + "[DEBUG] JSON DATA - {\"result\":\n0}\n");
}

TEST_F(WebServiceLogTest, OtherStatusPrintsTheResponseDescription) {
    LoggingScope logging(true);
    const auto printed = printedDuring(503, "{}");
    ASSERT_EQ(printed.rfind(requestLines(), 0), 0u) << printed;
    const auto last = printed.substr(requestLines().size());
    EXPECT_EQ(last.rfind("[DEBUG] HTTP RESPONSE - ", 0), 0u) << last;
    EXPECT_NE(last.find("Status Code: 503"), std::string::npos) << last;
    EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 1);
}

TEST_F(WebServiceLogTest, TransportErrorAddsNothingAfterTheRequestLines) {
    LoggingScope logging(true);
    urlProvider->setApiBaseUrl(*Url::fromString("http://127.0.0.1:" + std::to_string(closedLoopbackPort())));
    const auto printed = printedDuring(200, "{}");
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 2) << printed;
}

TEST_F(WebServiceLogTest, ReplyThatIsNotUtf8IsPrintedWithReplacementsAndStillParsed) {
    LoggingScope logging(true);
    const std::string body = "{\"result\": 0} \xff";
    const auto printed = printedDuring(200, body);
    EXPECT_NE(printed.find("[DEBUG] JSON DATA - {\"result\": 0} \xEF\xBF\xBD\n"), std::string::npos) << printed;
}

// Public parser corpus: y_ must parse into a record, n_ must be a parsing error, i_ may be either but must not
// crash or hang.
TEST_F(WebServiceTest, JsonTestSuiteBodiesAreAcceptedOrRejectedAsTheCorpusSays) {
    const std::filesystem::path folder = std::filesystem::path(VEXAQR_TEST_DATA_DIR) / "jsontestsuite/test_parsing";
    int accepted = 0, rejected = 0, undecided = 0, total = 0;
    auto service = makeService<UpdateKeysService>();
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        server.setHandler(LoopbackServer::reply(200, content.str()));
        Received<Model> received;
        service->updateKeys({"APP", "PEM"}, recordInto(received));
        ASSERT_TRUE(runUntilCalled(received)) << entry.path();
        const auto name = entry.path().filename().string();
        ++total;
        if (name.starts_with("y_")) {
            EXPECT_TRUE(received.record) << name;
            accepted += received.record ? 1 : 0;
        } else if (name.starts_with("n_")) {
            EXPECT_EQ(received.error, (Error{"JSON parsing error", 200, {}})) << name;
            rejected += received.error ? 1 : 0;
        } else {
            ++undecided;
        }
    }
    EXPECT_EQ(total, 318);
    EXPECT_EQ(accepted, 95);
    EXPECT_EQ(rejected, 188);
    EXPECT_EQ(undecided, 35);
}

} // namespace
} // namespace vexaqr::test
