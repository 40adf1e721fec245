#include "account/hub/HubConnectionString.hpp"

#include "account/hub/NotificationHubHelper.hpp"
#include "codec/platform/LogManager.hpp"

namespace vexaqr {

namespace {

// Normalising always yields "sb:...", so the entry never already carries the "Endpoint=" key.
std::string endpointEntry(const std::string& endpoint) {
    return "Endpoint=" + NotificationHubHelper::modifyEndpoint(endpoint, "sb");
}

std::optional<std::string> keyForm(const std::string& endpoint, const std::string& keyName, const std::string& secret) {
    if (endpoint.empty() || keyName.empty() || secret.empty()) {
        LogManager::standard().log("endpoint/keyName/secret can't be null.");
        return std::nullopt;
    }
    return endpointEntry(endpoint) + ";SharedAccessKeyName=" + keyName + ";SharedAccessKey=" + secret;
}

} // namespace

std::optional<std::string> HubConnectionString::stringWithEndpoint(const std::string& endpoint,
                                                                   const std::string& sharedAccessKeyName,
                                                                   const std::string& accessSecret) {
    return keyForm(endpoint, sharedAccessKeyName, accessSecret);
}

std::optional<std::string>
HubConnectionString::stringWithEndpointFullAccessSecret(const std::string& endpoint,
                                                        const std::string& fullAccessSecret) {
    return keyForm(endpoint, "DefaultFullSharedAccessSignature", fullAccessSecret);
}

std::optional<std::string>
HubConnectionString::stringWithEndpointListenAccessSecret(const std::string& endpoint,
                                                          const std::string& listenAccessSecret) {
    return keyForm(endpoint, "DefaultListenSharedAccessSignature", listenAccessSecret);
}

std::optional<std::string> HubConnectionString::stringWithEndpointIssuer(const std::string& endpoint,
                                                                         const std::string& issuer,
                                                                         const std::string& issuerSecret) {
    if (endpoint.empty() || issuer.empty() || issuerSecret.empty()) {
        LogManager::standard().log("endpoint/issuer/secret can't be null.");
        return std::nullopt;
    }
    return endpointEntry(endpoint) + ";SharedSecretIssuer=" + issuer + ";SharedSecretValue=" + issuerSecret;
}

} // namespace vexaqr
