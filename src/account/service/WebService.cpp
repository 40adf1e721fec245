#include "account/service/WebService.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/service/ReplyJson.hpp"
#include "account/service/Utf8.hpp"

namespace vexaqr {

namespace {

constexpr std::string_view kPostRequestLogPrefix = "[DEBUG] POST REQUEST - ";
constexpr std::string_view kJsonDataLogPrefix = "[DEBUG] JSON DATA - ";
constexpr std::string_view kHttpResponseLogPrefix = "[DEBUG] HTTP RESPONSE - ";
constexpr int kStatusOk = 200;

// Builds the line only when someone reads it: the texts copy whole bodies.
template <typename MakeText> void debugLog(MakeText makeText) {
    const LogManager& logManager = LogManager::standard();
    if (logManager.enabled.load()) {
        logManager.log(makeText());
    }
}

// Compact UTF-8 JSON text; nothing when a text member is not valid UTF-8 (the request then goes without body).
std::optional<Bytes> encodeJson(const nlohmann::json& jsonDictionary) {
    try {
        return toBytes(jsonDictionary.dump());
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

Error exchangeError(std::string_view domain, std::int64_t code) {
    return Error{std::string(domain), code, {}};
}

// "Status code: Optional(404)", or "Status code: nil" for a reply that is not HTTP.
std::string statusErrorDomain(bool isHttp, int status) {
    return "Status code: " + (isHttp ? "Optional(" + std::to_string(status) + ")" : std::string("nil"));
}

// The reply handling, in its fixed order; returns the outcome to deliver and whether the status line is logged.
struct Judgement {
    std::variant<nlohmann::json, Error> outcome;
    bool logResponse = false;
};

Judgement judge(HttpResult& result) {
    if (result.error) {
        return {std::move(*result.error)};
    }
    // Plain values, not a copied std::optional: GCC 12 at -Os reports a false maybe-uninitialized read of one.
    const bool isHttp = result.response && result.response->statusCode;
    const int status = isHttp ? *result.response->statusCode : -1;
    if (!result.body) {
        return {exchangeError(kMissingDataErrorDomain, status)};
    }
    if (!isHttp || status != kStatusOk) {
        return {exchangeError(statusErrorDomain(isHttp, status), status), true};
    }
    debugLog([&] { return std::string(kJsonDataLogPrefix) + utf8WithReplacements(*result.body); });
    auto json = parseReplyJson(*result.body);
    if (!json) {
        return {exchangeError(kJsonParsingErrorDomain, kStatusOk)};
    }
    return {std::move(*json)};
}

} // namespace

WebService::WebService(WebServiceEnvironment environment) : _environment(std::move(environment)) {}

HttpRequest WebService::postUrlRequest(const Url& requestUrl, std::optional<Bytes> postData) const {
    HttpRequest request;
    request.method = "POST";
    request.url = requestUrl.absoluteString();
    request.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    request.body = std::move(postData);
    request.timeout = _environment.timeoutInterval;
    return request;
}

void WebService::send(const nlohmann::json& jsonDictionary, const std::optional<Url>& requestUrl, Deliver deliver) {
    if (!requestUrl) {
        _environment.mainQueue->post(deliver(exchangeError(kInvalidUrlErrorDomain, -1)));
        return;
    }
    auto body = encodeJson(jsonDictionary);
    if (body) {
        debugLog([&] { return std::string(kPostRequestLogPrefix) + requestUrl->absoluteString(); });
        debugLog([&] { return std::string(kJsonDataLogPrefix) + toString(*body); });
    }
    // The client keeps no cache, so there is no stored reply to remove before sending.
    auto request = postUrlRequest(*requestUrl, std::move(body));
    _environment.httpClient->send(std::move(request), [weakSelf = weak_from_this(), queue = _environment.mainQueue,
                                                       deliver = std::move(deliver)](HttpResult result) {
        if (weakSelf.expired()) {
            return; // the service is gone: its completion is dropped
        }
        auto judgement = judge(result);
        queue->post(deliver(std::move(judgement.outcome)));
        if (judgement.logResponse) {
            debugLog([&] {
                return std::string(kHttpResponseLogPrefix) + (result.response ? result.response->description() : "nil");
            });
        }
    });
}

} // namespace vexaqr
