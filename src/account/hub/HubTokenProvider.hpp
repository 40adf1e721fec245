// HubTokenProvider: authorises requests to the hub with a Shared Access Signature computed locally, or with a
// WRAP token fetched from the namespace's access-control token service.
//
// A provider is immutable after construction apart from `timeToExpireinMins`; set that before sharing the
// provider between threads. The synchronous token request blocks its thread (never call it on the HTTP client's
// callback thread); the asynchronous one completes on that thread. Keys, secrets and tokens are never logged.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/platform/HttpClient.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

class HubTokenProvider final : public std::enable_shared_from_this<HubTokenProvider> {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using TokenCompletion = std::function<void(HttpRequest request, std::optional<Error> error)>;

    /// The access-control domain used when a connection string names no "stsendpoint".
    static constexpr std::string_view kDefaultAccessControlDomain = "accesscontrol.vexaqr.com";
    /// The domain in force for providers created from now on; any thread.
    static std::string accessControlDomain();
    /// Replaces it (an empty text restores the default); affects providers created afterwards.
    static void setAccessControlDomain(std::string domain);

    /// Why a dictionary of NotificationHubHelper::parseConnectionString gives no provider (no usable endpoint,
    /// no credentials, a control character in a value, an unusable token service address); nothing when it is
    /// usable.
    static std::optional<std::string> whyUnusable(const std::map<std::string, std::string>& connection);

    /// A provider for the dictionary of NotificationHubHelper::parseConnectionString, or nullptr (and the log
    /// line of whyUnusable) when it is not usable. `httpClient` fetches WRAP tokens (the shared
    /// client when null); `clock` dates signatures (the system clock when empty).
    static std::shared_ptr<HubTokenProvider>
    initWithConnectionDictinary(const std::map<std::string, std::string>& connection,
                                std::shared_ptr<HttpClient> httpClient = nullptr, Clock clock = {});

    /// Adds the `Authorization` header to `request`, blocking for a WRAP token if one is needed; the failure
    /// is the error that stopped it.
    Outcome<void, Error> setTokenWithRequest(HttpRequest& request) const;

    /// Asynchronous form: `completion` receives the request with its `Authorization` header, or an error. With a
    /// Shared Access Signature it runs at once on the caller's thread, else on the HTTP client's thread.
    void setTokenWithRequest(HttpRequest request, TokenCompletion completion) const;

    /// "SharedAccessSignature sr=...&sig=...&se=...&skn=..." for `url`, valid for `timeToExpireinMins`.
    std::string PrepareSharedAccessTokenWithUrl(std::string_view url) const;
    /// The token-service request that asks for a WRAP token for `url`.
    HttpRequest PrepareSharedSecretTokenWithUrl(std::string_view url) const;
    /// The `Authorization` value carried by a token-service reply body; empty when the body has another form.
    static std::string ExtractToken(const Bytes& body);

    /// Whether requests get Shared Access Signatures (true) or WRAP tokens (false).
    bool usesSharedAccessSignature() const { return !_sharedAccessKey.empty(); }

    /// Lifetime of a Shared Access Signature in minutes.
    std::int64_t timeToExpireinMins = 20;

private:
    HubTokenProvider() = default;

    /// The `Authorization` value the token service's reply carries.
    Outcome<std::string, Error> tokenFromReply(const HttpResult& result, const HttpRequest& tokenRequest,
                                               bool synchronous) const;

    std::string _sharedAccessKey;
    std::string _sharedAccessKeyName;
    std::string _sharedSecret;
    std::string _sharedSecretIssurer;
    std::string _stsHostName;
    std::string _serviceEndPoint;
    std::shared_ptr<HttpClient> _httpClient;
    Clock _clock;
};

} // namespace vexaqr
