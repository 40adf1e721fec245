#include "account/hub/HubTokenProvider.hpp"

#include "account/hub/NotificationHubHelper.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/hub/HubHttpSupport.hpp"

#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

namespace vexaqr {

namespace {

constexpr std::chrono::seconds kTokenRequestTimeout{60};

std::mutex& accessControlDomainMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& accessControlDomainValue() {
    static std::string domain(HubTokenProvider::kDefaultAccessControlDomain);
    return domain;
}

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string replacingAll(std::string text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string valueOf(const std::map<std::string, std::string>& connection, const std::string& key) {
    const auto found = connection.find(key);
    return found == connection.end() ? std::string() : found->second;
}

bool isSuccess(const HttpResult& result) {
    const auto status = result.response ? result.response->statusCode : std::nullopt;
    return status == 200 || status == 201;
}

// What an error may show of a token service's reply: a bounded, escaped excerpt.
std::string bodyText(const HttpResult& result) {
    return hub::bodyExcerpt(result.body.value_or(Bytes{}));
}

// The "&"-separated members of a token reply.
std::vector<std::string_view> tokenReplyMembers(std::string_view text) {
    return hub::split(text, '&');
}

// The token service of the namespace: the endpoint host's first label, "-sb.", and the access-control domain.
std::string namespaceTokenService(const std::string& endpointHost) {
    std::string host = endpointHost.substr(0, endpointHost.find(':'));
    return "https://" + host.substr(0, host.find('.')) + "-sb." + HubTokenProvider::accessControlDomain();
}

} // namespace

std::string HubTokenProvider::accessControlDomain() {
    std::lock_guard lock(accessControlDomainMutex());
    return accessControlDomainValue();
}

void HubTokenProvider::setAccessControlDomain(std::string domain) {
    std::lock_guard lock(accessControlDomainMutex());
    accessControlDomainValue() = domain.empty() ? std::string(kDefaultAccessControlDomain) : std::move(domain);
}

std::optional<std::string> HubTokenProvider::whyUnusable(const std::map<std::string, std::string>& connection) {
    if (!hub::hostAndPortOf(valueOf(connection, "endpoint")))
        return "Endpoint is missing or not in URL format in connectionString.";
    // Values end up in request headers and URLs; a line break there would let the connection string's
    // author add headers of their choosing to every request.
    for (const auto& [key, value] : connection) {
        if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
            return "The value of " + key + " holds a control character in connectionString.";
    }
    const bool hasKey = connection.contains("sharedaccesskey") && connection.contains("sharedaccesskeyname");
    if (!hasKey && !connection.contains("sharedsecretvalue"))
        return "Security information is missing in connectionString.";
    if (connection.contains("stsendpoint") && !hub::hostAndPortOf(valueOf(connection, "stsendpoint")))
        return "StsHostname is not in URL format in connectionString.";
    return std::nullopt;
}

std::shared_ptr<HubTokenProvider>
HubTokenProvider::initWithConnectionDictinary(const std::map<std::string, std::string>& connection,
                                              std::shared_ptr<HttpClient> httpClient, Clock clock) {
    if (const auto problem = whyUnusable(connection)) {
        LogManager::standard().log(*problem);
        return nullptr;
    }
    std::shared_ptr<HubTokenProvider> provider(new HubTokenProvider());
    provider->_serviceEndPoint = valueOf(connection, "endpoint");
    provider->_sharedAccessKey = valueOf(connection, "sharedaccesskey");
    provider->_sharedAccessKeyName = valueOf(connection, "sharedaccesskeyname");
    provider->_sharedSecret = valueOf(connection, "sharedsecretvalue");
    provider->_sharedSecretIssurer = valueOf(connection, "sharedsecretissuer");
    if (connection.contains("stsendpoint")) {
        const std::string sts = valueOf(connection, "stsendpoint");
        provider->_stsHostName = hub::secureSchemeFor(sts) + "://" + *hub::hostAndPortOf(sts);
    } else {
        provider->_stsHostName = namespaceTokenService(*hub::hostAndPortOf(provider->_serviceEndPoint));
    }
    if (!provider->_sharedSecret.empty() && provider->_sharedSecretIssurer.empty())
        provider->_sharedSecretIssurer = "owner";
    provider->_httpClient = httpClient ? std::move(httpClient) : HttpClient::shared();
    provider->_clock = clock ? std::move(clock) : [] { return std::chrono::system_clock::now(); };
    return provider;
}

std::string HubTokenProvider::PrepareSharedAccessTokenWithUrl(std::string_view url) const {
    // 64-bit on purpose: a 32-bit expiry turns negative in January 2038 and every signature would be refused.
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(_clock().time_since_epoch()).count();
    const std::string expiry = std::to_string(now + timeToExpireinMins * 60);
    const std::string resource =
        lowercased(NotificationHubHelper::urlEncode(replacingAll(lowercased(url), "https://", "http://")));
    const std::string signature =
        NotificationHubHelper::urlEncode(NotificationHubHelper::signString(resource + "\n" + expiry, _sharedAccessKey));
    return "SharedAccessSignature sr=" + resource + "&sig=" + signature + "&se=" + expiry +
           "&skn=" + _sharedAccessKeyName;
}

HttpRequest HubTokenProvider::PrepareSharedSecretTokenWithUrl(std::string_view url) const {
    std::string scope = lowercased(url);
    scope = scope.substr(0, scope.find('?'));
    scope = NotificationHubHelper::urlEncode(replacingAll(scope, "https://", "http://"));

    Bytes key = NotificationHubHelper::fromBase64(_sharedSecret).value_or(Bytes{});
    const std::string signature = NotificationHubHelper::urlEncode(
        NotificationHubHelper::signString("Issuer=" + _sharedSecretIssurer, key.data(), key.size()));
    OPENSSL_cleanse(key.data(), key.size());
    const std::string assertion =
        NotificationHubHelper::urlEncode("Issuer=" + _sharedSecretIssurer + "&HMACSHA256=" + signature);

    HttpRequest request;
    request.method = "POST";
    request.url = _stsHostName + "/WRAPv0.9/";
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"ContentLength", "0"}};
    request.body = toBytes("wrap_scope=" + scope + "&wrap_assertion_format=SWT&wrap_assertion=" + assertion);
    request.timeout = kTokenRequestTimeout;
    return request;
}

std::string HubTokenProvider::ExtractToken(const Bytes& body) {
    const std::string text = toString(body);
    const auto parts = tokenReplyMembers(text);
    if (parts.size() != 2) {
        // The body may be a token; only its shape is worth a log line.
        LogManager::standard().log("Wrong format of received token:" + std::to_string(parts.size()) + " parts");
        return {};
    }
    for (const auto part : parts) {
        const auto equals = part.find('=');
        if (equals == std::string_view::npos || part.substr(0, equals) != "wrap_access_token")
            continue;
        return "WRAP access_token=\"" + NotificationHubHelper::urlDecode(part.substr(equals + 1)) + "\"";
    }
    return {};
}

Outcome<std::string, Error> HubTokenProvider::tokenFromReply(const HttpResult& result, const HttpRequest& tokenRequest,
                                                             bool synchronous) const {
    auto& log = LogManager::standard();
    if (result.error) {
        if (synchronous) {
            log.log("Fail to request token:");
            log.log("Response:" + (result.response ? result.response->description() : std::string("(none)")));
        }
        return *result.error;
    }
    if (!isSuccess(result)) {
        const std::int64_t status = result.response && result.response->statusCode ? *result.response->statusCode : -1;
        if (synchronous)
            return NotificationHubHelper::errorWithMsg("Fail to request token. Response:" + bodyText(result), status);
        log.log("Fail to retrieve token.");
        log.log(hub::describeRequest(tokenRequest));
        log.log("Headers:" + hub::describeHeaders(tokenRequest.headers));
        log.log("Error Response:" + bodyText(result));
        return NotificationHubHelper::errorWithMsg("Fail to retrieve token. Response:" + bodyText(result), status);
    }
    std::string token = ExtractToken(result.body.value_or(Bytes{}));
    if (token.empty())
        // The reply may hold a token after all: say only how it was shaped.
        return NotificationHubHelper::errorWithMsg(
            "Fail to parse token. Response:" +
                std::to_string(tokenReplyMembers(toString(result.body.value_or(Bytes{}))).size()) +
                " members, none of them a usable wrap_access_token",
            -1);
    return token;
}

Outcome<void, Error> HubTokenProvider::setTokenWithRequest(HttpRequest& request) const {
    if (usesSharedAccessSignature()) {
        request.headers.emplace_back("Authorization", PrepareSharedAccessTokenWithUrl(request.url));
        return {};
    }
    const HttpRequest tokenRequest = PrepareSharedSecretTokenWithUrl(request.url);
    const HttpResult result = hub::sendAndWait(*_httpClient, tokenRequest);
    auto token = tokenFromReply(result, tokenRequest, true);
    if (!token)
        return token.failure();
    request.headers.emplace_back("Authorization", std::move(token).value());
    return {};
}

void HubTokenProvider::setTokenWithRequest(HttpRequest request, TokenCompletion completion) const {
    if (usesSharedAccessSignature()) {
        request.headers.emplace_back("Authorization", PrepareSharedAccessTokenWithUrl(request.url));
        completion(std::move(request), std::nullopt);
        return;
    }
    HttpRequest tokenRequest = PrepareSharedSecretTokenWithUrl(request.url);
    auto self = shared_from_this();
    _httpClient->send(tokenRequest, [self, tokenRequest, request = std::move(request),
                                     completion = std::move(completion)](HttpResult result) mutable {
        auto token = self->tokenFromReply(result, tokenRequest, false);
        if (!token) {
            completion(std::move(request), token.failure());
            return;
        }
        request.headers.emplace_back("Authorization", std::move(token).value());
        completion(std::move(request), std::nullopt);
    });
}

} // namespace vexaqr
