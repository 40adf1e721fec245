// HubConnectionString: builds connection strings from their parts for callers that hold them separately.
//
// Stateless; any thread.
#pragma once

#include <optional>
#include <string>

namespace vexaqr {

class HubConnectionString final {
public:
    /// "Endpoint=E;SharedAccessKeyName=N;SharedAccessKey=K" with E normalised to the scheme "sb"; nothing (and a
    /// log line) when a part is empty.
    static std::optional<std::string> stringWithEndpoint(const std::string& endpoint,
                                                         const std::string& sharedAccessKeyName,
                                                         const std::string& accessSecret);
    /// The same with the key name "DefaultFullSharedAccessSignature".
    static std::optional<std::string> stringWithEndpointFullAccessSecret(const std::string& endpoint,
                                                                         const std::string& fullAccessSecret);
    /// The same with the key name "DefaultListenSharedAccessSignature".
    static std::optional<std::string> stringWithEndpointListenAccessSecret(const std::string& endpoint,
                                                                           const std::string& listenAccessSecret);
    /// "Endpoint=E;SharedSecretIssuer=I;SharedSecretValue=S"; nothing (and a log line) when a part is empty.
    static std::optional<std::string> stringWithEndpointIssuer(const std::string& endpoint, const std::string& issuer,
                                                               const std::string& issuerSecret);
};

} // namespace vexaqr
