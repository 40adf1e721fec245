#include "RequestGuards.hpp"

#include "DevServerContext.hpp"
#include "JsonEndpoint.hpp"

namespace vexaqr::devserver {

namespace {

bool isAdminPath(std::string_view path) {
    return path.starts_with(kAdminPath) && (path.size() == kAdminPath.size() || path[kAdminPath.size()] == '/');
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
            if (isLoopbackPeer(request.remote_addr))
                return httplib::Server::HandlerResponse::Unhandled;
            writeJson(response, errorReply(403, "the admin interface answers only the loopback interface"));
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
