#include "account/platform/CurlHttpClient.hpp"
#include <vexaqr/platform/HttpClient.hpp>

namespace vexaqr {

std::string HttpResponse::description() const {
    std::string text = "HttpResponse { URL: " + url + " } { Status Code: ";
    text += statusCode ? std::to_string(*statusCode) : "none";
    text += ", Headers {";
    const char* separator = " ";
    for (const auto& [name, value] : headers) {
        text += separator + name + ": " + value;
        separator = "; ";
    }
    return text + " } }";
}

Error makeHttpClientError(HttpClientErrorCode code, std::string message) {
    return Error{std::string(kHttpClientErrorDomain), static_cast<std::int64_t>(code), std::move(message)};
}

std::shared_ptr<HttpClient> HttpClient::shared() {
    // Never destroyed: replies may still arrive while static objects are torn down at exit.
    static auto* client = new std::shared_ptr<HttpClient>(std::make_shared<CurlHttpClient>());
    return *client;
}

} // namespace vexaqr
