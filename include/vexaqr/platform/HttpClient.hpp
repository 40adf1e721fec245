// HttpClient: how the SDK speaks HTTP. An interface, so that a host application can supply its own client;
// the library's own is CurlHttpClient.
//
// send() may be called from any thread and returns at once. The completion runs exactly once, on the client's
// own callback thread, never on the caller's stack. Nothing is cached: every request goes to the origin.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexaqr {

/// Header lines as (name, value) pairs, in the order they were set or received.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    /// Absent: the request has no body.
    std::optional<Bytes> body;
    /// For the whole exchange, from connecting to the last byte of the reply.
    std::chrono::milliseconds timeout{30000};
};

/// The head of a reply.
struct HttpResponse {
    std::string url;
    /// Absent when the reply did not come over HTTP (possible only with a host-supplied client).
    std::optional<int> statusCode;
    HttpHeaders headers;

    /// One line for logs: the address, the status and the headers.
    std::string description() const;
};

/// How an exchange ended: either `error` alone (nothing usable arrived), or a `response`, normally with a
/// `body` (empty when the reply had none).
struct HttpResult {
    std::optional<Bytes> body;
    std::optional<HttpResponse> response;
    std::optional<Error> error;
};

/// Domain of the transport errors that the library's client reports; the code is an HttpClientErrorCode.
inline constexpr std::string_view kHttpClientErrorDomain = "HttpClient";

enum class HttpClientErrorCode : std::int64_t {
    cancelled = 1,        // the client was shut down before the reply arrived
    badUrl = 2,           // malformed address or a scheme other than http and https
    cannotFindHost = 3,   // name resolution failed
    cannotConnect = 4,    // connection refused or unreachable
    timedOut = 5,         // the request's timeout passed
    tlsFailure = 6,       // handshake failed or the peer's certificate did not verify
    connectionLost = 7,   // the peer closed or reset the connection before the reply was complete
    responseTooLarge = 8, // the reply body exceeded the client's limit, or its head 64 KiB
    badServerResponse = 9,
    badHeader = 10, // a request header's name or value holds CR, LF or NUL: it would split the request
    other = 99,
};

/// The transport error value for `code`, with `message` for people.
Error makeHttpClientError(HttpClientErrorCode code, std::string message);

class HttpClient {
public:
    using Completion = std::function<void(HttpResult)>;

    virtual ~HttpClient() = default;

    /// Starts `request`; `completion` later receives the outcome on the client's callback thread.
    virtual void send(HttpRequest request, Completion completion) = 0;

    /// The process-wide client (a CurlHttpClient), created on first use and never destroyed.
    static std::shared_ptr<HttpClient> shared();
};

} // namespace vexaqr
