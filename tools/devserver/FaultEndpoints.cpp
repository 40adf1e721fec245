// /admin/fault: sets and clears the fault switches.
//
// Body: {"clear": true} or {"endpoint": PATH, one of "status" | "resultCode" | "body" | "dropField",
// optionally "times": N >= 1}.
#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "JsonEndpoint.hpp"

namespace vexaqr::devserver {

namespace {

std::optional<FaultRule::Action> actionFrom(const nlohmann::json& body) {
    std::optional<FaultRule::Action> action;
    int given = 0;
    if (const auto status = integerMember(body, "status"); status && *status >= 100 && *status <= 599) {
        action = FaultRule::Status{static_cast<int>(*status)};
        ++given;
    }
    if (const auto code = integerMember(body, "resultCode")) {
        action = FaultRule::ResultCode{*code};
        ++given;
    }
    if (auto text = textMember(body, "body")) {
        action = FaultRule::Body{std::move(*text)};
        ++given;
    }
    if (auto field = textMember(body, "dropField"); field && !field->empty()) {
        action = FaultRule::DropField{std::move(*field)};
        ++given;
    }
    return given == 1 ? action : std::nullopt;
}

JsonReply setFault(DevServerContext& context, const nlohmann::json& body) {
    if (booleanMember(body, "clear").value_or(false)) {
        context.faults.clear();
        return JsonReply{200, nlohmann::json::object()};
    }
    auto endpoint = textMember(body, "endpoint");
    if (!endpoint || !endpoint->starts_with('/'))
        return errorReply(400, "a fault needs an endpoint path starting with /");
    auto action = actionFrom(body);
    if (!action)
        return errorReply(400, "a fault needs exactly one of status (100-599), resultCode, body, dropField");
    const auto times = integerMember(body, "times");
    if (body.contains("times") && (!times || *times < 1))
        return errorReply(400, "times must be a whole number of at least 1");
    context.faults.add(FaultRule{std::move(*endpoint), std::move(*action),
                                 times ? std::optional<int>(static_cast<int>(*times)) : std::nullopt});
    return JsonReply{200, nlohmann::json::object()};
}

void installFaultEndpoints(httplib::Server& server, DevServerContext& context) {
    postJson(server, "/admin/fault",
             [&context](const nlohmann::json& body, const httplib::Request&) { return setFault(context, body); });
}

const bool registered = registerEndpoints(&installFaultEndpoints);

} // namespace

} // namespace vexaqr::devserver
