#include "account/hub/HubHttpSupport.hpp"

#include <vexaqr/platform/Url.hpp>

#include <algorithm>
#include <cctype>
#include <future>
#include <map>
#include <memory>

namespace vexaqr::hub {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool isLoopbackHost(std::string_view hostAndPort) {
    std::string_view host = hostAndPort;
    if (host.starts_with('[')) {
        host = host.substr(0, host.find(']') + 1);
    } else if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
        host = host.substr(0, colon);
    }
    return host == "127.0.0.1" || equalsIgnoringCase(host, "localhost") || host == "[::1]";
}

} // namespace

std::optional<std::string> hostAndPortOf(std::string_view url) {
    if (!Url::fromString(std::string(url)))
        return std::nullopt;
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = url.substr(schemeEnd + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos)
        rest = rest.substr(at + 1); // user information is not part of the host
    if (rest.empty() || rest.starts_with(':'))
        return std::nullopt;
    return std::string(rest);
}

std::string secureSchemeFor(std::string_view url) {
    const auto host = hostAndPortOf(url);
    if (host && isLoopbackHost(*host) && url.size() >= 7 && equalsIgnoringCase(url.substr(0, 7), "http://"))
        return "http";
    return "https";
}

HttpResult sendAndWait(HttpClient& client, HttpRequest request) {
    auto promise = std::make_shared<std::promise<HttpResult>>();
    auto future = promise->get_future();
    client.send(std::move(request), [promise](HttpResult result) { promise->set_value(std::move(result)); });
    return future.get();
}

std::string reasonPhrase(int status) {
    static const std::map<int, std::string_view> kReasons = {
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {204, "No Content"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {304, "Not Modified"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {409, "Conflict"},
        {410, "Gone"},
        {412, "Precondition Failed"},
        {413, "Payload Too Large"},
        {415, "Unsupported Media Type"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    const auto found = kReasons.find(status);
    return std::string(found == kReasons.end() ? "Unknown Status" : found->second);
}

std::string describeRequest(const HttpRequest& request) {
    return request.method + " " + request.url;
}

std::string describeHeaders(const HttpHeaders& headers) {
    std::string text = "{";
    for (const auto& [name, value] : headers) {
        if (text.size() > 1)
            text += ", ";
        text += name + ": " + (equalsIgnoringCase(name, "Authorization") ? std::string("<redacted>") : value);
    }
    return text + "}";
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string bodyExcerpt(const Bytes& body) {
    constexpr std::size_t kShownBytes = 200;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    const std::size_t shown = std::min(body.size(), kShownBytes);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::uint8_t byte = body[i];
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            text += "\\x";
            text.push_back(kHex[byte >> 4]);
            text.push_back(kHex[byte & 0x0F]);
        }
    }
    if (shown < body.size())
        text += "... (" + std::to_string(body.size()) + " bytes)";
    return text;
}

std::optional<std::string> headerValue(const HttpHeaders& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name))
            return value;
    }
    return std::nullopt;
}

} // namespace vexaqr::hub
