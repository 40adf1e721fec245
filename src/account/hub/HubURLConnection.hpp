// HubURLConnection: one request to the hub over an HttpClient, with the hub's status rules: 200 and 201 are
// success, every other status is an error whose code is the status. A hub whose HTTP client is a
// HubStagedReplies gets staged replies instead of the network for the requests its handler answers.
//
// The completion runs on the HTTP client's callback thread, or at once on the caller's thread when a staged
// reply answers or the request cannot be started.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/platform/HttpClient.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace vexaqr {

/// A staged reply: answered with status 200, these headers and this body.
struct HubStaticHandlerResponse {
    Bytes Data;
    HttpHeaders Headers;
};

/// An HTTP client that answers what its handler stages (status 200, at once on the caller's thread) and
/// sends every other request on through `inner`.
class HubStagedReplies final : public HttpClient {
public:
    using Handler = std::function<std::optional<HubStaticHandlerResponse>(const HttpRequest& request)>;

    HubStagedReplies(Handler handler, std::shared_ptr<HttpClient> inner)
        : _handler(std::move(handler)), _inner(std::move(inner)) {}

    void send(HttpRequest request, Completion completion) override;

private:
    Handler _handler;
    std::shared_ptr<HttpClient> _inner;
};

class HubURLConnection final {
public:
    /// The reply head (absent on transport errors), its body (empty for heads-only replies) and the error.
    using Completion =
        std::function<void(std::optional<HttpResponse> response, Bytes body, std::optional<Error> error)>;

    explicit HubURLConnection(std::shared_ptr<HttpClient> httpClient);

    /// Sends `request`; DELETE replies and new-identifier replies are handed over without their body.
    void initWithRequest(HttpRequest request, Completion completion) const;

    /// Whether the request's reply is read for its head only.
    static bool isHeadOnly(const HttpRequest& request);

private:
    static void deliver(const HttpRequest& request, HttpResult result, const Completion& completion);

    std::shared_ptr<HttpClient> _httpClient;
};

} // namespace vexaqr
