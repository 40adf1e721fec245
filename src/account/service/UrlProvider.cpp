#include "account/service/UrlProvider.hpp"

namespace vexaqr {

UrlProvider& UrlProvider::standard() {
    static auto* provider = new UrlProvider();
    return *provider;
}

std::string UrlProvider::apiBaseUrl() const {
    std::lock_guard lock(_mutex);
    return _apiBaseUrl;
}

void UrlProvider::setApiBaseUrl(const Url& apiBaseUrl) {
    std::lock_guard lock(_mutex);
    _apiBaseUrl = apiBaseUrl.absoluteString();
}

std::optional<Url> UrlProvider::makeUrl(std::string_view endpoint) const {
    return Url::fromString(apiBaseUrl() + std::string(endpoint));
}

std::optional<Url> UrlProvider::makeMessageUrl(std::string_view endpoint, const std::string& messageId) const {
    return Url::fromString(apiBaseUrl() + std::string(endpoint) + "/" + messageId);
}

std::optional<Url> UrlProvider::registerAccountUrl() const {
    return makeUrl(registerAccountEndpoint);
}

std::optional<Url> UrlProvider::activateAccountUrl() const {
    return makeUrl(activateAccountEndpoint);
}

std::optional<Url> UrlProvider::getVexaQrMessageIdListUrl() const {
    return makeUrl(getVexaQrMessageIdListEndpoint);
}

std::optional<Url> UrlProvider::getVexaQrMessageUrl(const std::string& messageId) const {
    return makeMessageUrl(getVexaQrMessageEndpoint, messageId);
}

std::optional<Url> UrlProvider::getNotificationIdUrl() const {
    return makeUrl(getNotificationIdEndpoint);
}

std::optional<Url> UrlProvider::registerPushNotificationUrl() const {
    return makeUrl(registerPushNotificationEndpoint);
}

std::optional<Url> UrlProvider::updateKeysUrl() const {
    return makeUrl(updateKeysEndpoint);
}

std::optional<Url> UrlProvider::getPublicKeyOfPartnerUrl() const {
    return makeUrl(getPublicKeyOfPartnerEndpoint);
}

std::optional<Url> UrlProvider::deleteVexaQrMessageUrl(const std::string& messageId) const {
    return makeMessageUrl(deleteVexaQrEndpoint, messageId);
}

std::optional<Url> UrlProvider::deleteAllVexaQrMessageUrl() const {
    return makeUrl(deleteAllVexaQrEndpoint);
}

} // namespace vexaqr
