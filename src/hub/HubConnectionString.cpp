#include <vexaqr/hub/HubConnectionString.hpp>

#include <vexaqr/hub/NotificationHubHelper.hpp>
#include <vexaqr/platform/LogManager.hpp>

#include <algorithm>
#include <cctype>

namespace vexaqr {

namespace {

// An endpoint given as "Endpoint=..." already carries its key; the builder must not repeat it.
std::string endpointEntry(const std::string& endpoint) {
    std::string normalised = NotificationHubHelper::modifyEndpoint(endpoint, "sb");
    std::string lower = normalised;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.starts_with("endpoint=") ? normalised : "Endpoint=" + normalised;
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
