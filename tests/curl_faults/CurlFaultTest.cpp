// libcurl calls that fail on demand. This program is linked with --wrap for the calls below, so the library's
// own CurlHttpClient meets the failures that only a lack of memory would otherwise cause.
#include "account/platform/CurlHttpClient.hpp"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {
std::atomic<bool> failMultiInit{false};
std::atomic<bool> failMultiAddHandle{false};
} // namespace

extern "C" {
CURLM* __real_curl_multi_init();
CURLMcode __real_curl_multi_add_handle(CURLM* multi, CURL* easy);

CURLM* __wrap_curl_multi_init() {
    return failMultiInit ? nullptr : __real_curl_multi_init();
}

CURLMcode __wrap_curl_multi_add_handle(CURLM* multi, CURL* easy) {
    return failMultiAddHandle ? CURLM_OUT_OF_MEMORY : __real_curl_multi_add_handle(multi, easy);
}
}

namespace vexaqr {
namespace {

using namespace std::chrono_literals;

// Sets a failure for the lifetime of one test.
class FailureScope {
public:
    explicit FailureScope(std::atomic<bool>& flag) : _flag(flag) { _flag = true; }
    ~FailureScope() { _flag = false; }
    FailureScope(const FailureScope&) = delete;
    FailureScope& operator=(const FailureScope&) = delete;

private:
    std::atomic<bool>& _flag;
};

// Sends to a closed loopback port: the failures under test come before any connection is tried.
std::optional<HttpResult> sendAndWait(HttpClient& client) {
    auto promise = std::make_shared<std::promise<HttpResult>>();
    auto future = promise->get_future();
    client.send(HttpRequest{"POST", "http://127.0.0.1:9/x", {}, toBytes("{}"), 5000ms},
                [promise](HttpResult result) { promise->set_value(std::move(result)); });
    if (future.wait_for(10s) != std::future_status::ready) {
        return std::nullopt;
    }
    return future.get();
}

TEST(CurlFaultTest, RequestThatCannotJoinTheTransferEngineFailsInsteadOfHanging) {
    CurlHttpClient client;
    FailureScope failing(failMultiAddHandle);
    const auto result = sendAndWait(client);
    ASSERT_TRUE(result) << "the completion never ran";
    ASSERT_TRUE(result->error);
    EXPECT_EQ(result->error->domain, kHttpClientErrorDomain);
    EXPECT_EQ(result->error->code, static_cast<std::int64_t>(HttpClientErrorCode::other));
}

TEST(CurlFaultTest, ClientWithoutATransferEngineFailsEveryRequestAndShutsDown) {
    std::optional<CurlHttpClient> client;
    {
        FailureScope failing(failMultiInit);
        client.emplace();
    }
    for (int i = 0; i < 2; ++i) {
        const auto result = sendAndWait(*client);
        ASSERT_TRUE(result) << "the completion never ran";
        ASSERT_TRUE(result->error);
        EXPECT_EQ(result->error->code, static_cast<std::int64_t>(HttpClientErrorCode::other));
    }
    client.reset(); // must not hang waiting for a thread that cannot be woken
}

} // namespace
} // namespace vexaqr
