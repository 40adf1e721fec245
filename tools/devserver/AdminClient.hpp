// AdminClient: the `admin` command's side of the devserver's administration endpoints.
//
// Sends one JSON POST per call to the server named by `--server` and reports a refusal as text.
// Used on the command's own thread only.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vexaqr::devserver {

/// The address `admin` talks to unless `--server` says otherwise.
inline constexpr std::string_view kDefaultServerUrl = "http://127.0.0.1:8642";

class AdminClient {
public:
    /// Where the server is ("http://HOST:PORT"); bound to the `--server` option.
    std::string serverUrl{kDefaultServerUrl};

    /// POSTs `body` to `path` (e.g. "/admin/partner") and answers the reply's JSON object; nothing when the
    /// server cannot be reached or refuses, with the reason in `error`.
    std::optional<nlohmann::json> post(std::string_view path, const nlohmann::json& body, std::string& error) const;
};

/// Runs `post` and prints a failure as "vexaqr-devserver: <reason>" on standard error; the reply, or nothing
/// after setting `exitCode` to 1.
std::optional<nlohmann::json> postOrReport(const AdminClient& client, std::string_view path, const nlohmann::json& body,
                                           int& exitCode);

} // namespace vexaqr::devserver
