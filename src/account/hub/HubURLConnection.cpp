#include "account/hub/HubURLConnection.hpp"

#include "account/hub/NotificationHubHelper.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/hub/HubHttpSupport.hpp"

#include <algorithm>
#include <cctype>

namespace vexaqr {

namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string pathOf(const std::string& url) {
    const auto schemeEnd = url.find("://");
    const auto pathStart = url.find('/', schemeEnd == std::string::npos ? 0 : schemeEnd + 3);
    if (pathStart == std::string::npos)
        return {};
    return url.substr(pathStart, url.find('?', pathStart) - pathStart);
}

} // namespace

void HubStagedReplies::send(HttpRequest request, Completion completion) {
    if (auto staged = _handler ? _handler(request) : std::nullopt) {
        HttpResponse response{request.url, 200, std::move(staged->Headers)};
        completion(HttpResult{std::move(staged->Data), std::move(response), std::nullopt});
        return;
    }
    _inner->send(std::move(request), std::move(completion));
}

HubURLConnection::HubURLConnection(std::shared_ptr<HttpClient> httpClient) : _httpClient(std::move(httpClient)) {}

bool HubURLConnection::isHeadOnly(const HttpRequest& request) {
    return request.method == "DELETE" ||
           (request.method == "POST" && lowercased(pathOf(request.url)).find("/registrationids") != std::string::npos);
}

void HubURLConnection::initWithRequest(HttpRequest request, Completion completion) const {
    if (!_httpClient) {
        completion(
            std::nullopt, {},
            NotificationHubHelper::errorWithMsg("Initiate request failed for " + hub::describeRequest(request), -1));
        return;
    }
    const HttpRequest sent = request;
    _httpClient->send(std::move(request), [sent, completion = std::move(completion)](HttpResult result) {
        deliver(sent, std::move(result), completion);
    });
}

void HubURLConnection::deliver(const HttpRequest& request, HttpResult result, const Completion& completion) {
    if (result.error || !result.response) {
        completion(std::move(result.response), {},
                   result.error ? std::move(result.error)
                                : NotificationHubHelper::errorWithMsg(
                                      "Initiate request failed for " + hub::describeRequest(request), -1));
        return;
    }
    const int status = result.response->statusCode.value_or(-1);
    Bytes body = result.body.value_or(Bytes{});
    if (status == 200 || status == 201) {
        if (isHeadOnly(request))
            body.clear();
        completion(std::move(result.response), std::move(body), std::nullopt);
        return;
    }
    if (status != 404) {
        auto& log = LogManager::standard();
        log.log("URLRequest failed:");
        log.log("URL:" + request.url);
        log.log("Headers:" + hub::describeHeaders(result.response->headers));
    }
    auto error = NotificationHubHelper::errorWithMsg("URLRequest failed for " + hub::describeRequest(request) +
                                                         " with status code: " + hub::reasonPhrase(status),
                                                     status);
    completion(std::move(result.response), std::move(body), std::move(error));
}

} // namespace vexaqr
