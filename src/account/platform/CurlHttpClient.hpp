// CurlHttpClient: the library's HttpClient, libcurl driven by one worker thread of its own.
//
// The worker thread is the "HTTP client's callback queue": every completion runs on it, one at a time.
// Connections to the same host are reused, TLS peers and host names are verified, redirects are not followed
// and reply bodies are bounded. Destroying the client cancels what is in flight (those completions receive
// HttpClientErrorCode::cancelled, as do requests those completions send in turn, each after the completion that
// sent it has returned) and waits for the thread, unless it is destroyed from inside one of its own completions:
// then the thread finishes by itself once that completion returns.
#pragma once

#include <vexaqr/platform/HttpClient.hpp>

#include <cstddef>
#include <memory>
#include <string>

namespace vexaqr {

class CurlHttpClient final : public HttpClient {
public:
    /// Replies with a longer body fail with HttpClientErrorCode::responseTooLarge. The largest legitimate reply
    /// is one message: a record of at most 1 MiB, base-64 encoded (4/3 of it), inside a small JSON object.
    static constexpr std::size_t kDefaultMaxResponseBytes = 4 * 1024 * 1024;

    struct Options {
        std::size_t maxResponseBytes;
        /// A PEM file of the certificate authorities to trust instead of the system's (a private authority);
        /// empty: the system's. Peers and host names are verified either way.
        std::string certificateAuthorityFile;
    };

    CurlHttpClient();
    explicit CurlHttpClient(Options options);
    ~CurlHttpClient() override;

    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    void send(HttpRequest request, Completion completion) override;

private:
    class Worker;
    std::shared_ptr<Worker> _worker;
};

} // namespace vexaqr
