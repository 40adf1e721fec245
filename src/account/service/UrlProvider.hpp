// UrlProvider: the backend's endpoint table, with a replaceable base address.
//
// Addresses are made by plain text concatenation: base address, endpoint path and, for the two per-message
// operations, "/" and the message id verbatim (no percent-encoding). An address that does not come out as a
// well-formed URL is returned as nothing. Thread-safe.
#pragma once

#include <vexaqr/platform/Url.hpp>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

class UrlProvider final {
public:
    /// The local development server's address; hosts replace it through setApiBaseUrl().
    static constexpr std::string_view kDefaultApiBaseUrl = "http://127.0.0.1:8642/api/v1/client";

    static constexpr std::string_view registerAccountEndpoint = "/registerclient";
    static constexpr std::string_view activateAccountEndpoint = "/activateclient";
    static constexpr std::string_view getVexaQrMessageIdListEndpoint = "/getvxalist";
    static constexpr std::string_view getVexaQrMessageEndpoint = "/getvxa";
    static constexpr std::string_view getNotificationIdEndpoint = "/push/getid";
    static constexpr std::string_view registerPushNotificationEndpoint = "/push/register";
    static constexpr std::string_view updateKeysEndpoint = "/updatekeys";
    static constexpr std::string_view getPublicKeyOfPartnerEndpoint = "/partnerkey";
    static constexpr std::string_view deleteVexaQrEndpoint = "/deletevxa";
    static constexpr std::string_view deleteAllVexaQrEndpoint = "/deleteallvxa";

    /// The process-wide table, created on first use with the default base address and never destroyed.
    static UrlProvider& standard();

    UrlProvider() = default;

    /// The current base address.
    std::string apiBaseUrl() const;

    /// Replaces the base address with the absolute text of `apiBaseUrl`; affects every address built afterwards.
    void setApiBaseUrl(const Url& apiBaseUrl);

    std::optional<Url> registerAccountUrl() const;
    std::optional<Url> activateAccountUrl() const;
    std::optional<Url> getVexaQrMessageIdListUrl() const;
    std::optional<Url> getVexaQrMessageUrl(const std::string& messageId) const;
    std::optional<Url> getNotificationIdUrl() const;
    std::optional<Url> registerPushNotificationUrl() const;
    std::optional<Url> updateKeysUrl() const;
    std::optional<Url> getPublicKeyOfPartnerUrl() const;
    std::optional<Url> deleteVexaQrMessageUrl(const std::string& messageId) const;
    std::optional<Url> deleteAllVexaQrMessageUrl() const;

private:
    std::optional<Url> makeUrl(std::string_view endpoint) const;
    std::optional<Url> makeMessageUrl(std::string_view endpoint, const std::string& messageId) const;

    mutable std::mutex _mutex;
    std::string _apiBaseUrl{kDefaultApiBaseUrl};
};

} // namespace vexaqr
