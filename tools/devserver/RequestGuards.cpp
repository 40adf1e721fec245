#include "RequestGuards.hpp"

#include "DevServerContext.hpp"
#include "JsonEndpoint.hpp"

namespace vexaqr::devserver {

namespace {

bool isAdminPath(std::string_view path) {
    return path.starts_with(kAdminPath) && (path.size() == kAdminPath.size() || path[kAdminPath.size()] == '/');
}

bool isLoopbackHostName(std::string_view host) {
    if (host.starts_with('[')) {
        const auto end = host.find(']');
        return end != std::string_view::npos && host.substr(0, end + 1) == "[::1]" &&
               (end + 1 == host.size() || host[end + 1] == ':');
    }
    host = host.substr(0, host.find(':'));
    return host == "localhost" || (host.starts_with("127.") && host.find_first_not_of("0123456789.") == host.npos);
}

// Why an admin request is refused, or nothing. A loopback peer alone does not prove a local program: a web page
// in a browser on this machine reaches the loopback too, through a rebound name (its Host is the page's) or a
// cross-site form or fetch (its Origin is the page's; without CORS it can only send "simple" content types).
std::optional<std::string> adminRefusal(const httplib::Request& request) {
    if (!isLoopbackPeer(request.remote_addr))
        return "the admin interface answers only the loopback interface";
    if (!isLoopbackHostName(request.get_header_value("Host")))
        return "the admin interface answers only requests addressed to a loopback name";
    if (request.has_header("Origin")) {
        const std::string origin = request.get_header_value("Origin");
        const auto hostStart = origin.find("://");
        if (hostStart == std::string::npos || !isLoopbackHostName(std::string_view(origin).substr(hostStart + 3)))
            return "the admin interface does not answer requests from web pages of other sites";
    }
    const std::string type = request.get_header_value("Content-Type");
    if (type != "application/json" && !type.starts_with("application/json;"))
        return "the admin interface takes only application/json";
    return std::nullopt;
}

void replaceReply(const FaultRule& rule, httplib::Response& response) {
    if (const auto* status = std::get_if<FaultRule::Status>(&rule.action)) {
        writeJson(response, errorReply(status->status, "fault switch"));
    } else if (const auto* code = std::get_if<FaultRule::ResultCode>(&rule.action)) {
        writeJson(response, JsonReply{200, nlohmann::json{{"result", code->resultCode}}});
    } else if (const auto* body = std::get_if<FaultRule::Body>(&rule.action)) {
        response.status = 200;
        response.set_content(body->body, "application/json; charset=utf-8");
    }
}

void dropField(const FaultRule& rule, httplib::Response& response) {
    const auto* drop = std::get_if<FaultRule::DropField>(&rule.action);
    auto body = nlohmann::json::parse(response.body, nullptr, false);
    if (!drop || !body.is_object())
        return;
    body.erase(drop->field);
    response.set_content(body.dump(), "application/json; charset=utf-8");
    // The length was announced before this handler runs; a stale one would leave the client waiting.
    response.headers.erase("Content-Length");
    response.set_header("Content-Length", std::to_string(response.body.size()));
}

} // namespace

void installRequestGuards(httplib::Server& server, DevServerContext& context) {
    server.set_pre_routing_handler([&context](const httplib::Request& request, httplib::Response& response) {
        if (isAdminPath(request.path)) {
            const auto refusal = adminRefusal(request);
            if (!refusal)
                return httplib::Server::HandlerResponse::Unhandled;
            writeJson(response, errorReply(403, *refusal));
            return httplib::Server::HandlerResponse::Handled;
        }
        const auto rule = context.faults.take(request.path, true);
        if (!rule)
            return httplib::Server::HandlerResponse::Unhandled;
        replaceReply(*rule, response);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_post_routing_handler([&context](const httplib::Request& request, httplib::Response& response) {
        if (response.status != 200 || isAdminPath(request.path))
            return;
        if (const auto rule = context.faults.take(request.path, false))
            dropField(*rule, response);
    });
}

} // namespace vexaqr::devserver
