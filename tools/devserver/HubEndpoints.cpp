// The devserver's push notification hub under /hub/<hub name>/: the registrations interface (list by device
// token, new identifiers, PUT upsert, DELETE with If-Match) and, at the origin's root, the WRAP token service
// (/WRAPv0.9/). Every hub request must carry an `Authorization` header that verifies against the hub's keys;
// /admin/hub/... hands out connection strings and makes a registration "forgotten" (its next PUT answers 410).
#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "HubCredentials.hpp"
#include "HubRegistrationTable.hpp"
#include "JsonEndpoint.hpp"

#include <httplib.h>

#include <chrono>
#include <memory>

namespace vexaqr::devserver {

namespace {

constexpr std::string_view kApiVersionQuery = "api-version=2013-04";

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void answer(httplib::Response& response, int status, const std::string& body = {},
            const char* contentType = "application/xml; charset=utf-8") {
    response.status = status;
    if (!body.empty())
        response.set_content(body, contentType);
}

// The device token of a "$filter=deviceToken eq 'TOKEN'" query; nothing for any other filter.
std::optional<std::string> filteredDeviceToken(const std::string& target) {
    const auto query = target.find('?');
    if (query == std::string::npos)
        return std::nullopt;
    constexpr std::string_view kFilter = "$filter=";
    const auto start = target.find(kFilter, query);
    if (start == std::string::npos)
        return std::nullopt;
    const auto end = target.find('&', start);
    const std::string filter = HubCredentials::percentDecode(std::string_view(target).substr(
        start + kFilter.size(), end == std::string::npos ? std::string::npos : end - start - kFilter.size()));
    constexpr std::string_view kPrefix = "deviceToken eq '";
    if (!filter.starts_with(kPrefix) || !filter.ends_with('\'') || filter.size() <= kPrefix.size() + 1)
        return std::nullopt;
    return filter.substr(kPrefix.size(), filter.size() - kPrefix.size() - 1);
}

class HubService {
public:
    explicit HubService(DevServerContext& context)
        : _context(context), _credentials(context.database), _registrations(context.database) {}

    void install(httplib::Server& server) {
        const auto guarded = [this](auto handler) {
            return [this, handler](const httplib::Request& request, httplib::Response& response) {
                std::lock_guard lock(_context.mutex);
                if (request.target.find(kApiVersionQuery) == std::string::npos) {
                    answer(response, 400, "api-version=2013-04 is required", "text/plain");
                    return;
                }
                if (!_credentials.admits(request.get_header_value("Authorization"), _context.baseUrl + request.target,
                                         nowSeconds())) {
                    answer(response, 401, "the Authorization header does not verify", "text/plain");
                    return;
                }
                (this->*handler)(request, response);
            };
        };
        server.Get(R"(/hub/([^/]+)/Registrations/)", guarded(&HubService::list));
        server.Post(R"(/hub/([^/]+)/registrationids/)", guarded(&HubService::newIdentifier));
        server.Put(R"(/hub/([^/]+)/Registrations/([^/]+))", guarded(&HubService::upsert));
        server.Delete(R"(/hub/([^/]+)/Registrations/([^/]+))", guarded(&HubService::remove));
        server.Post("/WRAPv0.9/", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(_context.mutex);
            const auto token = _credentials.issueToken(request.body, nowSeconds());
            if (token)
                answer(response, 200, *token, "application/x-www-form-urlencoded");
            else
                answer(response, 401, "the assertion does not verify", "text/plain");
        });
        postJson(server, "/admin/hub/connection-string",
                 [this](const nlohmann::json& body, const httplib::Request&) { return connectionString(body); });
        postJson(server, "/admin/hub/forget",
                 [this](const nlohmann::json& body, const httplib::Request&) { return forget(body); });
    }

private:
    void list(const httplib::Request& request, httplib::Response& response) {
        const auto token = filteredDeviceToken(request.target);
        if (!token) {
            answer(response, 400, "a $filter on deviceToken is required", "text/plain");
            return;
        }
        const auto records = _registrations.findByDeviceToken(request.matches[1], *token);
        if (records.empty()) {
            answer(response, 404, "no registrations", "text/plain");
            return;
        }
        answer(response, 200, HubRegistrationTable::feedXml(records, _context.baseUrl));
    }

    void newIdentifier(const httplib::Request& request, httplib::Response& response) {
        const std::string hub = request.matches[1];
        const std::string id = _registrations.reserveIdentifier(hub);
        response.set_header("Location", _context.baseUrl + "/hub/" + hub + "/registrations/" + id + "?" +
                                            std::string(kApiVersionQuery));
        answer(response, 201);
    }

    void upsert(const httplib::Request& request, httplib::Response& response) {
        const std::string hub = request.matches[1];
        const std::string id = request.matches[2];
        const auto existing = _registrations.find(hub, id);
        if (existing && existing->forgotten) {
            _registrations.remove(hub, id);
            answer(response, 410, "the registration is gone", "text/plain");
            return;
        }
        if (request.get_header_value("Content-Type") != "application/xml") {
            answer(response, 415, "registration descriptions are application/xml", "text/plain");
            return;
        }
        auto record = HubRegistrationTable::fromDescription(request.body);
        if (!record) {
            answer(response, 400, "not a registration description", "text/plain");
            return;
        }
        record->hub = hub;
        record->registrationId = id;
        record->eTag = existing ? existing->eTag + 1 : 1;
        record->active = true;
        _registrations.save(*record);
        response.set_header("ETag", "\"" + std::to_string(record->eTag) + "\"");
        answer(response, 200, HubRegistrationTable::entryXml(*record, _context.baseUrl));
    }

    void remove(const httplib::Request& request, httplib::Response& response) {
        const std::string hub = request.matches[1];
        const std::string id = request.matches[2];
        const auto existing = _registrations.find(hub, id);
        if (!existing || !existing->active) {
            answer(response, 404, "no such registration", "text/plain");
            return;
        }
        const std::string ifMatch = request.get_header_value("If-Match");
        if (ifMatch != "*" && ifMatch != "\"" + std::to_string(existing->eTag) + "\"") {
            answer(response, 412, "If-Match does not match the registration's entity tag", "text/plain");
            return;
        }
        _registrations.remove(hub, id);
        answer(response, 200);
    }

    JsonReply connectionString(const nlohmann::json& body) {
        std::lock_guard lock(_context.mutex);
        const std::string kind = textMember(body, "kind").value_or("sas");
        const std::string endpoint = "Endpoint=" + _context.baseUrl + "/hub/";
        if (kind == "sas")
            return JsonReply{
                200,
                {{"connectionString", endpoint + ";SharedAccessKeyName=" + std::string(HubCredentials::kKeyName) +
                                          ";SharedAccessKey=" + _credentials.sharedAccessKey()}}};
        if (kind == "issuer")
            return JsonReply{
                200,
                {{"connectionString", endpoint + ";SharedSecretIssuer=" + std::string(HubCredentials::kIssuer) +
                                          ";SharedSecretValue=" + _credentials.issuerSecret() +
                                          ";StsEndpoint=" + _context.baseUrl}}};
        return errorReply(400, "kind is sas or issuer");
    }

    JsonReply forget(const nlohmann::json& body) {
        std::lock_guard lock(_context.mutex);
        const auto id = textMember(body, "registrationId");
        auto record = id ? _registrations.findAnywhere(*id) : std::nullopt;
        if (!record)
            return errorReply(404, "no such registration");
        record->forgotten = true;
        _registrations.save(*record);
        return JsonReply{200, nlohmann::json::object()};
    }

    DevServerContext& _context;
    HubCredentials _credentials;
    HubRegistrationTable _registrations;
};

void installHubEndpoints(httplib::Server& server, DevServerContext& context) {
    // Lives as long as the program: the server's handlers refer to it until the process ends.
    static std::unique_ptr<HubService> service;
    std::lock_guard lock(context.mutex);
    service = std::make_unique<HubService>(context);
    service->install(server);
}

const bool registered = registerEndpoints(&installHubEndpoints);

} // namespace

} // namespace vexaqr::devserver
