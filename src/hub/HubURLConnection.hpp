// HubURLConnection: one request to the hub over an HttpClient, with the hub's status rules: 200 and 201 are
// success, every other status is an error whose code is the status. A process-wide static handler may answer
// requests instead of the network (for hosts that stage replies).
//
// The completion runs on the HTTP client's callback thread, or at once on the caller's thread when the static
// handler answers or the request cannot be started. setStaticHandler() is thread-safe.
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

class HubURLConnection final {
public:
    using StaticHandler = std::function<std::optional<HubStaticHandlerResponse>(const HttpRequest& request)>;
    /// The reply head (absent on transport errors), its body (empty for heads-only replies) and the error.
    using Completion =
        std::function<void(std::optional<HttpResponse> response, Bytes body, std::optional<Error> error)>;

    /// Replaces the process-wide handler; an empty one sends everything to the network again.
    static void setStaticHandler(StaticHandler handler);

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
