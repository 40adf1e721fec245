// The ten client endpoints below /api/v1/client, answering what the SDK's backend client sends.
//
// A member the operation needs that is absent or not text is `emailAddressOrVXaIdIsRequired`; an app
// unique id that is not a UUID is an unknown installation.
#include "AccountStore.hpp"
#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "JsonEndpoint.hpp"
#include "MessageStore.hpp"

#include "codec/payload/Base64.hpp"

#include <iostream>
#include <memory>

namespace vexaqr::devserver {

namespace {

struct Backend {
    explicit Backend(DevServerContext& context)
        : context(context), accounts(context.database), messages(context.database) {}

    DevServerContext& context;
    AccountStore accounts;
    MessageStore messages;
};

using Handler = std::function<JsonReply(Backend&, const nlohmann::json&, const httplib::Request&)>;

const JsonReply kMissingMember = resultReply(ResultCode::emailAddressOrVXaIdIsRequired);

// Routes one endpoint below the client prefix; the handler runs with the database locked.
void route(httplib::Server& server, const std::shared_ptr<Backend>& backend, std::string_view endpoint,
           Handler handler) {
    postJson(server, std::string(kClientApiPath) + std::string(endpoint),
             [backend, handler = std::move(handler)](const nlohmann::json& body, const httplib::Request& request) {
                 std::lock_guard lock(backend->context.mutex);
                 return handler(*backend, body, request);
             });
}

// The registration the body's "appUniqueId" names, or the reply that ends the request.
std::variant<Registration, JsonReply> installationOf(Backend& backend, const nlohmann::json& body) {
    const auto text = textMember(body, "appUniqueId");
    if (!text)
        return kMissingMember;
    const auto appId = canonicalAppId(*text);
    if (!appId)
        return resultReply(ResultCode::clientApplicationNotFound);
    auto found = backend.accounts.registration(*appId);
    if (!found.value)
        return resultReply(found.code);
    return std::move(*found.value);
}

JsonReply userIdReply(const Outcome<std::int64_t>& outcome) {
    if (!outcome.value)
        return resultReply(outcome.code);
    return resultReply(outcome.code, {{"vxaUserId", *outcome.value}});
}

JsonReply registerClient(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    const auto email = textMember(body, "emailAddress");
    const auto partnerId = textMember(body, "partnerId");
    const auto appText = textMember(body, "appUniqueId");
    if (!email || email->empty() || !partnerId || !appText)
        return kMissingMember;
    const auto appId = canonicalAppId(*appText);
    if (!appId)
        return kMissingMember;
    return userIdReply(backend.accounts.registerClient(
        *email, *partnerId, booleanMember(body, "deleteMyOtherRegistrations").value_or(false),
        textMember(body, "activationCode"), *appId));
}

JsonReply activateClient(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    const auto code = textMember(body, "activationCode");
    const auto appText = textMember(body, "appUniqueId");
    if (!code || !appText)
        return kMissingMember;
    const auto appId = canonicalAppId(*appText);
    if (!appId)
        return resultReply(ResultCode::registrationNotFoundToActivate);
    return userIdReply(backend.accounts.activateClient(*code, *appId));
}

JsonReply updateKeys(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto pem = textMember(body, "pemPublicKeyString");
    if (!pem)
        return kMissingMember;
    return resultReply(backend.accounts.updateKeys(std::get<Registration>(installation).appUniqueId, *pem));
}

JsonReply partnerKey(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto partner = backend.accounts.partner(std::get<Registration>(installation).partnerId);
    if (!partner)
        return resultReply(ResultCode::partnerNotFound);
    return resultReply(ResultCode::successfulOperation, {{"publicKey", partner->publicKeyPem}});
}

JsonReply notificationId(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    const auto partnerId = textMember(body, "partnerId");
    const auto handle = textMember(body, "handle");
    if (!partnerId || !handle || handle->empty())
        return kMissingMember;
    const auto outcome = backend.accounts.notificationId(*partnerId, *handle);
    if (!outcome.value)
        return resultReply(outcome.code);
    return resultReply(outcome.code, {{"notificationId", *outcome.value}});
}

JsonReply registerPush(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto partnerId = textMember(body, "partnerId");
    const auto notification = textMember(body, "notificationId");
    const auto handle = textMember(body, "handle");
    const auto platform = textMember(body, "platform");
    if (!partnerId || !notification || !handle || !platform)
        return kMissingMember;
    return resultReply(backend.accounts.registerPush(*partnerId, std::get<Registration>(installation).appUniqueId,
                                                     *notification, *handle, *platform));
}

JsonReply messageIdList(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto ids = backend.messages.ids(std::get<Registration>(installation).appUniqueId);
    if (!ids)
        return resultReply(ResultCode::serverTechnicalError);
    return resultReply(ResultCode::successfulOperation, {{"vxaMessageIdList", *ids}});
}

JsonReply message(Backend& backend, const nlohmann::json& body, const httplib::Request& request) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto found = backend.messages.find(std::get<Registration>(installation).appUniqueId, request.matches[1]);
    if (!found)
        return resultReply(ResultCode::serverTechnicalError);
    if (!*found)
        return resultReply(ResultCode::vexaQrMessageNotFound);
    nlohmann::json members{{"vxaData", base64::encode((*found)->vxaData)}};
    if ((*found)->vxaInfo)
        members["vxaInfo"] = *(*found)->vxaInfo;
    if ((*found)->vxaTemplate)
        members["vxaTemplate"] = *(*found)->vxaTemplate;
    return resultReply(ResultCode::successfulOperation, std::move(members));
}

JsonReply deleteMessage(Backend& backend, const nlohmann::json& body, const httplib::Request& request) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto removed = backend.messages.remove(std::get<Registration>(installation).appUniqueId, request.matches[1]);
    if (!removed)
        return resultReply(ResultCode::serverTechnicalError);
    return resultReply(*removed == 0 ? ResultCode::vexaQrMessageNotFound : ResultCode::successfulOperation);
}

JsonReply deleteAllMessages(Backend& backend, const nlohmann::json& body, const httplib::Request&) {
    auto installation = installationOf(backend, body);
    if (auto* reply = std::get_if<JsonReply>(&installation))
        return *reply;
    const auto removed = backend.messages.removeAll(std::get<Registration>(installation).appUniqueId);
    return resultReply(removed ? ResultCode::successfulOperation : ResultCode::serverTechnicalError);
}

void installBackendEndpoints(httplib::Server& server, DevServerContext& context) {
    auto backend = std::make_shared<Backend>(context);
    if (!backend->accounts.isReady() || !backend->messages.isReady())
        std::cerr << "vexaqr-devserver: the tables cannot be made: " << context.database.lastError() << '\n';
    route(server, backend, "/registerclient", &registerClient);
    route(server, backend, "/activateclient", &activateClient);
    route(server, backend, "/updatekeys", &updateKeys);
    route(server, backend, "/partnerkey", &partnerKey);
    route(server, backend, "/push/getid", &notificationId);
    route(server, backend, "/push/register", &registerPush);
    route(server, backend, "/getvxalist", &messageIdList);
    route(server, backend, "/getvxa/([^/]+)", &message);
    route(server, backend, "/deletevxa/([^/]+)", &deleteMessage);
    route(server, backend, "/deleteallvxa", &deleteAllMessages);
}

const bool registered = registerEndpoints(&installBackendEndpoints);

} // namespace

} // namespace vexaqr::devserver
