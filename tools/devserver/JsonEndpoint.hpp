// JSON-over-HTTP helpers shared by the devserver's endpoint units: routing a POST with a JSON object
// body to a handler, reading members without exceptions, and the shapes of the replies.
//
// Stateless; handlers are called on the server's worker threads.
#pragma once

#include "account/service/ResultCode.hpp"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr::devserver {

/// What a handler answers: an HTTP status and a JSON body.
struct JsonReply {
    int status = 200;
    nlohmann::json body;
};

/// Receives the parsed body (always a JSON object) and the request (for path captures).
using JsonHandler = std::function<JsonReply(const nlohmann::json& body, const httplib::Request& request)>;

/// Routes POST `pattern` to `handler`; a body that is not a JSON object is answered 400 without
/// calling it, and so is an exception escaping the handler (500).
void postJson(httplib::Server& server, const std::string& pattern, JsonHandler handler);

/// Writes `reply` into `response` as compact JSON.
void writeJson(httplib::Response& response, const JsonReply& reply);

/// {"result": code} with status 200, optionally merged with further members.
JsonReply resultReply(Constant::Application::ResultCode code, nlohmann::json members = nlohmann::json::object());

/// A refused administration request: `status` with {"error": message}.
JsonReply errorReply(int status, std::string message);

/// Members of the given JSON type; nothing when absent or of another type.
std::optional<std::string> textMember(const nlohmann::json& object, std::string_view key);
std::optional<bool> booleanMember(const nlohmann::json& object, std::string_view key);
std::optional<std::int64_t> integerMember(const nlohmann::json& object, std::string_view key);

/// Whether a peer address (as the server reports it) is on the loopback interface.
bool isLoopbackPeer(std::string_view remoteAddress);

} // namespace vexaqr::devserver
