// The administration endpoints a person or a test drives through `vexaqr-devserver admin`:
//   /admin/partner          {partnerId, bits?}                      -> {partnerId, issuerId, publicKey, privateKey}
//   /admin/activation-code  {partnerId, email}                      -> {activationCode}
//   /admin/message          {appUniqueId, type, colored?, contentType?, content (base64), info?, template?}
//                                                                   -> {messageId}
// Refusals are 4xx with {"error": text}. Loopback peers only (see RequestGuards).
#include "AccountStore.hpp"
#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "JsonEndpoint.hpp"
#include "MessageSealer.hpp"
#include "MessageStore.hpp"

#include "codec/payload/Base64.hpp"

#include <chrono>
#include <memory>

namespace vexaqr::devserver {

namespace {

constexpr int kDefaultPartnerBits = 2048;

struct Admin {
    explicit Admin(DevServerContext& context)
        : context(context), accounts(context.database), messages(context.database) {}

    DevServerContext& context;
    AccountStore accounts;
    MessageStore messages;
};

std::uint32_t now() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(seconds.count());
}

JsonReply partner(Admin& admin, const nlohmann::json& body) {
    const auto partnerId = textMember(body, "partnerId");
    const auto bits = integerMember(body, "bits").value_or(kDefaultPartnerBits);
    if (!partnerId || partnerId->empty())
        return errorReply(400, "a partner needs a partnerId");
    if (bits != 1024 && bits != 2048)
        return errorReply(400, "bits must be 1024 or 2048");
    const auto made = admin.accounts.ensurePartner(*partnerId, static_cast<int>(bits));
    if (!made)
        return errorReply(500, "the partner could not be made");
    return JsonReply{200,
                     {{"partnerId", made->partnerId},
                      {"issuerId", made->issuerId.uuidString()},
                      {"publicKey", made->publicKeyPem},
                      {"privateKey", made->privateKeyPem}}};
}

JsonReply activationCode(Admin& admin, const nlohmann::json& body) {
    const auto partnerId = textMember(body, "partnerId");
    const auto email = textMember(body, "email");
    if (!partnerId || !email || email->empty())
        return errorReply(400, "an activation code needs a partnerId and an email");
    const auto made = admin.accounts.createActivationCode(*partnerId, *email);
    if (made.code == ResultCode::partnerNotFound)
        return errorReply(404, "no partner " + *partnerId);
    if (!made.value)
        return errorReply(500, "the activation code could not be stored");
    return JsonReply{200, {{"activationCode", *made.value}}};
}

std::variant<SealRequest, JsonReply> sealRequestFrom(const nlohmann::json& body) {
    const auto type =
        vxaTypeNamed(textMember(body, "type").value_or(""), booleanMember(body, "colored").value_or(false));
    if (!type)
        return errorReply(400, "type must be signed, secured, encrypted or masked");
    const auto contentType = contentTypeNamed(textMember(body, "contentType").value_or("json"));
    if (!contentType)
        return errorReply(400, "contentType must be json, json-zip or image");
    const auto content = base64::decode(textMember(body, "content").value_or(""));
    if (!content)
        return errorReply(400, "content must be base-64 text");
    return SealRequest{*type, *contentType, *content, now()};
}

JsonReply message(Admin& admin, const nlohmann::json& body) {
    const auto appId = canonicalAppId(textMember(body, "appUniqueId").value_or(""));
    const auto installation = appId ? admin.accounts.registration(*appId) : Outcome<Registration>{};
    if (!installation.value)
        return errorReply(404, "no installation with that app unique id");
    auto request = sealRequestFrom(body);
    if (auto* refused = std::get_if<JsonReply>(&request))
        return *refused;
    const auto partner = admin.accounts.partner(installation.value->partnerId);
    if (!partner)
        return errorReply(500, "the installation's partner is missing");
    auto sealed = sealMessage(std::get<SealRequest>(request), *partner, *installation.value);
    if (auto* reason = std::get_if<std::string>(&sealed))
        return errorReply(409, *reason);
    const auto messageId =
        admin.messages.add(*appId, std::get<Bytes>(sealed), textMember(body, "info"), textMember(body, "template"));
    if (!messageId)
        return errorReply(500, "the message could not be stored");
    return JsonReply{200, {{"messageId", *messageId}}};
}

void route(httplib::Server& server, const std::shared_ptr<Admin>& admin, const std::string& path,
           JsonReply (*handler)(Admin&, const nlohmann::json&)) {
    postJson(server, path, [admin, handler](const nlohmann::json& body, const httplib::Request&) {
        std::lock_guard lock(admin->context.mutex);
        return handler(*admin, body);
    });
}

void installAdminEndpoints(httplib::Server& server, DevServerContext& context) {
    auto admin = std::make_shared<Admin>(context);
    route(server, admin, "/admin/partner", &partner);
    route(server, admin, "/admin/activation-code", &activationCode);
    route(server, admin, "/admin/message", &message);
}

const bool registered = registerEndpoints(&installAdminEndpoints);

} // namespace

} // namespace vexaqr::devserver
