#include "JsonEndpoint.hpp"

#include "account/service/ReplyJson.hpp"

#include <exception>

namespace vexaqr::devserver {

void postJson(httplib::Server& server, const std::string& pattern, JsonHandler handler) {
    server.Post(pattern, [handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
        // The client's shape check first: a body of nothing but "[" would otherwise build a value per byte.
        const auto body = parseReplyJson(toBytes(request.body));
        if (!body || !body->is_object()) {
            writeJson(response, errorReply(400, "the body is not a JSON object"));
            return;
        }
        try {
            writeJson(response, handler(*body, request));
        } catch (const std::exception& error) {
            writeJson(response, errorReply(500, error.what()));
        }
    });
}

void writeJson(httplib::Response& response, const JsonReply& reply) {
    response.status = reply.status;
    response.set_content(reply.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         "application/json; charset=utf-8");
}

JsonReply resultReply(Constant::Application::ResultCode code, nlohmann::json members) {
    members["result"] = Constant::Application::rawValue(code);
    return JsonReply{200, std::move(members)};
}

JsonReply errorReply(int status, std::string message) {
    return JsonReply{status, nlohmann::json{{"error", std::move(message)}}};
}

std::optional<std::string> textMember(const nlohmann::json& object, std::string_view key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_string())
        return std::nullopt;
    return member->get<std::string>();
}

std::optional<bool> booleanMember(const nlohmann::json& object, std::string_view key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_boolean())
        return std::nullopt;
    return member->get<bool>();
}

std::optional<std::int64_t> integerMember(const nlohmann::json& object, std::string_view key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_number_integer())
        return std::nullopt;
    return member->get<std::int64_t>();
}

bool isLoopbackPeer(std::string_view remoteAddress) {
    constexpr std::string_view kMappedPrefix = "::ffff:";
    if (remoteAddress.starts_with(kMappedPrefix))
        remoteAddress.remove_prefix(kMappedPrefix.size());
    return remoteAddress == "::1" || remoteAddress.starts_with("127.");
}

} // namespace vexaqr::devserver
