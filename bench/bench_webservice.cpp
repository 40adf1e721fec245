// Sequential request/reply round trips against a loopback server: a bare libcurl call on the calling thread,
// the library's HTTP client (worker thread), and a whole backend exchange (JSON, decoding, main-queue hop).
// Also the cost of parsing the largest legitimate reply, with and without the pass that bounds its shape.
#include "account/service/ReplyJson.hpp"

#include "account/platform/CurlHttpClient.hpp"
#include "account/service/UpdateKeys.hpp"
#include <vexaqr/platform/RunLoop.hpp>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <future>
#include <thread>

namespace {

using namespace vexaqr;

constexpr const char* kReply = R"({"result": 0})";
constexpr const char* kRequest = R"({"appUniqueId":"6F9619FF-8B86-D011-B42D-00C04FC964FF","pemPublicKeyString":"PEM"})";

class BenchServer {
public:
    BenchServer() {
        _server.set_tcp_nodelay(true);
        _server.Post(".*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kReply, "application/json");
        });
        _port = _server.bind_to_any_port("127.0.0.1");
        _thread = std::thread([this] { _server.listen_after_bind(); });
        while (!_server.is_running()) {
            std::this_thread::yield();
        }
    }
    ~BenchServer() {
        _server.stop();
        _thread.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(_port) + path; }

private:
    httplib::Server _server;
    int _port = 0;
    std::thread _thread;
};

BenchServer& server() {
    static BenchServer instance;
    return instance;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* context) {
    static_cast<std::string*>(context)->append(data, size * count);
    return size * count;
}

// Sets up each request the way any caller must (address, header list, body), on one reused handle.
void BM_BareCurlRoundTrip(benchmark::State& state) {
    const std::string url = server().url("/api/updatekeys");
    CURL* easy = curl_easy_init();
    std::string reply;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
    for (auto _ : state) {
        reply.clear();
        curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8");
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, kRequest);
        const CURLcode code = curl_easy_perform(easy);
        curl_slist_free_all(headers);
        if (code != CURLE_OK || reply != kReply) {
            state.SkipWithError("bare request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    curl_easy_cleanup(easy);
}
BENCHMARK(BM_BareCurlRoundTrip)->UseRealTime();

void BM_HttpClientRoundTrip(benchmark::State& state) {
    CurlHttpClient client;
    const std::string url = server().url("/api/updatekeys");
    for (auto _ : state) {
        std::promise<HttpResult> done;
        client.send(HttpRequest{"POST",
                                url,
                                {{"Content-Type", "application/json; charset=utf-8"}},
                                toBytes(kRequest),
                                std::chrono::seconds(30)},
                    [&done](HttpResult result) { done.set_value(std::move(result)); });
        if (done.get_future().get().error) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpClientRoundTrip)->UseRealTime();

// The HTTP client with its completion handed to a main queue, without JSON or decoding.
void BM_HttpClientWithMainQueueHop(benchmark::State& state) {
    CurlHttpClient client;
    RunLoop loop;
    const std::string url = server().url("/api/updatekeys");
    for (auto _ : state) {
        bool done = false;
        client.send(HttpRequest{"POST",
                                url,
                                {{"Content-Type", "application/json; charset=utf-8"}},
                                toBytes(kRequest),
                                std::chrono::seconds(30)},
                    [&](HttpResult) { loop.post([&done] { done = true; }); });
        loop.runUntil([&] { return done; }, std::chrono::seconds(30));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpClientWithMainQueueHop)->UseRealTime();

void BM_WebServiceRoundTrip(benchmark::State& state) {
    auto loop = std::make_shared<RunLoop>();
    auto urlProvider = std::make_shared<UrlProvider>();
    urlProvider->setApiBaseUrl(*Url::fromString(server().url("/api")));
    auto service = std::make_shared<UpdateKeysService>(WebServiceEnvironment{
        .httpClient = std::make_shared<CurlHttpClient>(), .mainQueue = loop, .urlProvider = urlProvider});
    const UpdateKeys::RequestModel request{"6F9619FF-8B86-D011-B42D-00C04FC964FF", "PEM"};
    for (auto _ : state) {
        bool succeeded = false;
        bool done = false;
        service->updateKeys(request, [&](std::optional<UpdateKeys::ResponseModel> record, std::optional<Error>) {
            succeeded = record && record->resultCode == 0;
            done = true;
        });
        loop->runUntil([&] { return done; }, std::chrono::seconds(30));
        if (!succeeded) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WebServiceRoundTrip)->UseRealTime();

// One message carrying a record of 1 MiB, base-64 encoded.
Bytes largestMessageReply() {
    const std::size_t base64Length = (1024 * 1024 + 2) / 3 * 4;
    return toBytes(R"({"result": 0, "vxaData": ")" + std::string(base64Length, 'A') +
                   R"(", "vxaInfo": "i", "vxaTemplate": "t"})");
}

void BM_ParseLargestReplyUnbounded(benchmark::State& state) {
    const Bytes reply = largestMessageReply();
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::parse(reply.begin(), reply.end(), nullptr, false));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}
BENCHMARK(BM_ParseLargestReplyUnbounded);

void BM_ParseLargestReplyBounded(benchmark::State& state) {
    const Bytes reply = largestMessageReply();
    for (auto _ : state) {
        if (!parseReplyJson(reply)) {
            state.SkipWithError("largest reply refused");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}
BENCHMARK(BM_ParseLargestReplyBounded);

} // namespace
