#include "AdminClient.hpp"

#include <httplib.h>

#include <iostream>

namespace vexaqr::devserver {

std::optional<nlohmann::json> AdminClient::post(std::string_view path, const nlohmann::json& body,
                                                std::string& error) const {
    httplib::Client client(serverUrl);
    if (!client.is_valid()) {
        error = "not a server address: " + serverUrl;
        return std::nullopt;
    }
    client.set_connection_timeout(5);
    client.set_read_timeout(60); // sealing with a fresh 2048-bit partner key takes a moment
    const auto result = client.Post(std::string(path), body.dump(), "application/json");
    if (!result) {
        error = "cannot reach " + serverUrl + ": " + httplib::to_string(result.error());
        return std::nullopt;
    }
    auto reply = nlohmann::json::parse(result->body, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        error = "the server answered " + std::to_string(result->status) + " without a JSON object";
        return std::nullopt;
    }
    if (result->status != 200) {
        const auto reason = reply.find("error");
        error = (reason != reply.end() && reason->is_string())
                    ? reason->get<std::string>()
                    : "the server answered " + std::to_string(result->status);
        return std::nullopt;
    }
    return reply;
}

std::optional<nlohmann::json> postOrReport(const AdminClient& client, std::string_view path, const nlohmann::json& body,
                                           int& exitCode) {
    std::string error;
    auto reply = client.post(path, body, error);
    if (!reply) {
        std::cerr << "vexaqr-devserver: " << error << '\n';
        exitCode = 1;
    }
    return reply;
}

} // namespace vexaqr::devserver
