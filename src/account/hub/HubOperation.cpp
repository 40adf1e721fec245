#include "account/hub/HubOperation.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/hub/HubHttpSupport.hpp"
#include "account/hub/HubRegistrationParser.hpp"
#include "account/hub/HubURLConnection.hpp"

#include <sys/utsname.h>

#include <future>

namespace vexaqr {

namespace {

constexpr std::chrono::seconds kRequestTimeout{60};
constexpr std::int64_t kGone = 410;
constexpr std::int64_t kNotFound = 404;

const std::string& userAgent() {
    static const std::string agent = [] {
        struct utsname system {};
        const bool known = ::uname(&system) == 0;
        return "NOTIFICATIONHUBS/" + std::string(NotificationHub::kApiVersion) +
               "(api-origin=IosSdk; os=" + (known ? system.sysname : "unknown") +
               "; os_version=" + (known ? system.release : "unknown") + ";)";
    }();
    return agent;
}

// Whether the hub itself answered with `status`. A token service's 404 or 410 arrives without a hub reply: it
// says nothing about the registration and must not be taken for the hub's own.
bool hubAnswered(const std::optional<HttpResponse>& response, std::int64_t status) {
    return response && response->statusCode == status;
}

Error storeWriteError() {
    return NotificationHubHelper::errorWithMsg("Fail to save the local registration store.", -1);
}

// The last path segment of the Location URL, without its query.
std::string extractRegistrationIdFromLocationUri(const std::string& location) {
    std::string path = location.substr(0, location.find_first_of("?#"));
    while (path.ends_with('/'))
        path.pop_back();
    return path.substr(path.rfind('/') + 1);
}

} // namespace

HubLocalStorage& HubOperation::store() const {
    return *hub->_storageManager;
}

std::string HubOperation::registrationsUri() const {
    return hub->_serviceEndPoint + hub->_path + "/Registrations/";
}

std::string HubOperation::allRegistrationsUri(const std::string& deviceToken) const {
    return registrationsUri() + "?$filter=deviceToken+eq+'" + NotificationHubHelper::urlEncode(deviceToken) +
           "'&api-version=" + std::string(NotificationHub::kApiVersion);
}

std::string HubOperation::registrationUri(const std::string& registrationId) const {
    return registrationsUri() + NotificationHubHelper::urlEncode(registrationId) +
           "?api-version=" + std::string(NotificationHub::kApiVersion);
}

std::string HubOperation::newRegistrationIdUri() const {
    return hub->_serviceEndPoint + hub->_path +
           "/registrationids/?api-version=" + std::string(NotificationHub::kApiVersion);
}

HttpRequest HubOperation::PrepareUrlRequest(const std::string& url, const std::string& httpMethod,
                                            const std::string& eTag, const std::string& payload) {
    HttpRequest request;
    request.method = httpMethod;
    request.url = url;
    request.timeout = kRequestTimeout;
    request.headers.emplace_back("Content-Type", payload.starts_with('{') ? "application/json" : "application/xml");
    if (!eTag.empty())
        request.headers.emplace_back("If-Match", eTag == "*" ? eTag : "\"" + eTag + "\"");
    if (!payload.empty())
        request.body = toBytes(payload);
    request.headers.emplace_back("User-Agent", userAgent());
    return request;
}

void HubOperation::send(HttpRequest request, Reply reply) const {
    if (synchronous) {
        sendSynchronously(std::move(request), reply);
        return;
    }
    HubURLConnection connection(hub->_httpClient);
    hub->_tokenProvider->setTokenWithRequest(
        std::move(request), [connection, reply](HttpRequest authorised, std::optional<Error> error) {
            if (error) {
                reply({}, std::nullopt, std::move(error));
                return;
            }
            connection.initWithRequest(std::move(authorised), [reply](std::optional<HttpResponse> response, Bytes body,
                                                                      std::optional<Error> failure) {
                reply(std::move(body), std::move(response), std::move(failure));
            });
        });
}

void HubOperation::sendSynchronously(HttpRequest request, const Reply& reply) const {
    if (auto authorised = hub->_tokenProvider->setTokenWithRequest(request); !authorised) {
        reply({}, std::nullopt, authorised.failure());
        return;
    }
    struct Outcome {
        std::optional<HttpResponse> response;
        Bytes body;
        std::optional<Error> error;
    };
    auto promise = std::make_shared<std::promise<Outcome>>();
    auto future = promise->get_future();
    HubURLConnection(hub->_httpClient)
        .initWithRequest(request,
                         [promise](std::optional<HttpResponse> response, Bytes body, std::optional<Error> error) {
                             promise->set_value({std::move(response), std::move(body), std::move(error)});
                         });
    Outcome outcome = future.get();
    if (outcome.error && outcome.response && outcome.error->domain == kNotificationHubErrorDomain) {
        outcome.error->message = "Fail to perform registration operation. Response:" + hub::bodyExcerpt(outcome.body);
    } else if (outcome.error) {
        auto& log = LogManager::standard();
        log.log("Fail to perform registration operation.");
        log.log(hub::describeRequest(request));
        log.log("Headers:" + hub::describeHeaders(request.headers));
        log.log("Error Response:" + outcome.error->message);
    }
    reply(std::move(outcome.body), std::move(outcome.response), std::move(outcome.error));
}

void HubOperation::registerWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                           const std::string& payload, Done done) const {
    if (auto usable = usableStore(); !usable) {
        done(usable.failure());
        return;
    }
    const std::string token = NotificationHub::convertDeviceToken(deviceToken);
    if (!store().isRefreshNeeded()) {
        createOrUpdateWith(name, payload, token, std::move(done));
        return;
    }
    // A store without a current version learns the hub's registrations of the last token first, so that
    // this device keeps one registration per name instead of adding another.
    const std::string refreshToken = store().deviceToken().empty() ? token : store().deviceToken();
    auto self = *this;
    retrieveAllRegistrationsWithDeviceToken(refreshToken, [self, name, payload, token, done](Listed listed) {
        if (!listed) {
            done(listed.failure());
            return;
        }
        if (!self.store().refreshFinishedWithDeviceToken(token)) {
            done(storeWriteError());
            return;
        }
        self.createOrUpdateWith(name, payload, token, done);
    });
}

// Without a usable store nothing is sent: a registration the device cannot remember would be duplicated by the
// next call, and one it cannot look up cannot be deleted.
Outcome<void, Error> HubOperation::usableStore() const {
    const auto opened = store().opened();
    if (opened)
        return {};
    return NotificationHubHelper::errorWithMsg("Fail to open the local registration store: " + opened.failure().message,
                                               -1);
}

void HubOperation::createOrUpdateWith(const std::string& name, const std::string& payload,
                                      const std::string& deviceToken, Done done) const {
    auto self = *this;
    // A 410 from the hub means it forgot the registration: start over with a new identifier, once.
    auto upsertRecoveringGone = [self, name, payload, deviceToken, done](const std::string& registrationId) {
        self.upsertRegistrationWithName(name, registrationId, payload, deviceToken, done,
                                        [self, name, payload, deviceToken, done] {
                                            self.createRegistrationIdAndUpsert(name, payload, deviceToken, done);
                                        });
    };
    if (const auto entry = store().getStoredRegistrationEntryWithRegistrationName(name)) {
        upsertRecoveringGone(entry->RegistrationId);
        return;
    }
    createRegistrationId(
        name, deviceToken,
        [upsertRecoveringGone, done](std::optional<std::string> registrationId, std::optional<Error> error) {
            if (error)
                done(std::move(error));
            else
                upsertRecoveringGone(*registrationId);
        });
}

void HubOperation::createRegistrationIdAndUpsert(const std::string& name, const std::string& payload,
                                                 const std::string& deviceToken, Done done) const {
    auto self = *this;
    createRegistrationId(name, deviceToken,
                         [self, name, payload, deviceToken, done](std::optional<std::string> registrationId,
                                                                  std::optional<Error> error) {
                             if (error)
                                 done(std::move(error));
                             else
                                 self.upsertRegistrationWithName(name, *registrationId, payload, deviceToken, done);
                         });
}

// Asks the hub for a new identifier and remembers it under `name` with the entity tag "*".
void HubOperation::createRegistrationId(
    const std::string& name, const std::string& deviceToken,
    std::function<void(std::optional<std::string>, std::optional<Error>)> done) const {
    auto self = *this;
    send(PrepareUrlRequest(newRegistrationIdUri(), "POST", "", ""),
         [self, name, deviceToken, done](Bytes, std::optional<HttpResponse> response, std::optional<Error> error) {
             if (error) {
                 done(std::nullopt, std::move(error));
                 return;
             }
             const auto location = hub::headerValue(response->headers, "Location");
             const std::string registrationId = location ? extractRegistrationIdFromLocationUri(*location) : "";
             if (registrationId.empty()) {
                 // Without an identifier there is nothing to update; reporting success would lose the call.
                 done(std::nullopt, NotificationHubHelper::errorWithMsg(
                                        "Fail to perform registration operation. Response:no registration id", -1));
                 return;
             }
             if (!self.store().updateWithRegistrationName(name, registrationId, "*", deviceToken)) {
                 done(std::nullopt, storeWriteError());
                 return;
             }
             done(registrationId, std::nullopt);
         });
}

void HubOperation::upsertRegistrationWithName(const std::string& name, const std::string& registrationId,
                                              const std::string& payload, const std::string& deviceToken, Done done,
                                              std::function<void()> whenGone) const {
    auto self = *this;
    send(PrepareUrlRequest(registrationUri(registrationId), "PUT", "", payload),
         [self, name, deviceToken, done, whenGone](Bytes body, std::optional<HttpResponse> response,
                                                   std::optional<Error> error) {
             if (error && whenGone && hubAnswered(response, kGone)) {
                 whenGone();
                 return;
             }
             if (!error && !self.rememberUpsertedRegistration(name, body))
                 error = storeWriteError();
             done(std::move(error));
         });
}

// False when the store could not be written.
bool HubOperation::rememberUpsertedRegistration(const std::string& name, const Bytes& body) const {
    const auto registrations = HubRegistrationParser::parseRegistrations(body);
    if (!registrations)
        return true; // keep what is stored: the identifier is still the one the hub accepted
    if (registrations->empty())
        return store().deleteWithRegistrationName(name);
    const auto& first = *registrations->front();
    return store().updateWithRegistrationName(first.Name(), first.registrationId, first.ETag, first.deviceToken);
}

void HubOperation::retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken, Listing done) const {
    if (auto usable = usableStore(); !usable) {
        done(usable.failure());
        return;
    }
    auto self = *this;
    send(PrepareUrlRequest(allRegistrationsUri(deviceToken), "GET", "", ""),
         [self, done](Bytes body, std::optional<HttpResponse> response, std::optional<Error> error) {
             if (error && hubAnswered(response, kNotFound)) {
                 done(NotificationHub::Registrations{});
                 return;
             }
             if (error) {
                 done(*std::move(error));
                 return;
             }
             auto registrations = HubRegistrationParser::parseRegistrations(body);
             if (registrations && !self.store().updateWithListedRegistrations(*registrations)) {
                 done(storeWriteError());
                 return;
             }
             done(std::move(registrations));
         });
}

void HubOperation::deleteRegistrationWithName(const std::string& name, Done done) const {
    if (auto usable = usableStore(); !usable) {
        done(usable.failure());
        return;
    }
    const auto entry = store().getStoredRegistrationEntryWithRegistrationName(name);
    if (!entry) {
        done(std::nullopt);
        return;
    }
    auto self = *this;
    send(PrepareUrlRequest(registrationUri(entry->RegistrationId), "DELETE", "*", ""),
         [self, name, done](Bytes, std::optional<HttpResponse> response, std::optional<Error> error) {
             if ((!error || hubAnswered(response, kNotFound)) && !self.store().deleteWithRegistrationName(name)) {
                 done(storeWriteError());
                 return;
             }
             done(std::move(error));
         });
}

// Deletes the listed registrations one by one by identifier (two listed under one name must both go); one
// that is already gone counts as deleted. Stops at the first failure.
void HubOperation::deleteRegistrations(std::shared_ptr<NotificationHub::Registrations> registrations, std::size_t next,
                                       Done done) const {
    if (next == registrations->size()) {
        done(store().deleteAllRegistrations() ? std::nullopt : std::optional<Error>(storeWriteError()));
        return;
    }
    auto self = *this;
    send(PrepareUrlRequest(registrationUri((*registrations)[next]->registrationId), "DELETE", "*", ""),
         [self, registrations, next, done](Bytes, std::optional<HttpResponse> response, std::optional<Error> error) {
             if (error && !hubAnswered(response, kNotFound)) {
                 done(std::move(error));
                 return;
             }
             self.deleteRegistrations(registrations, next + 1, done);
         });
}

void HubOperation::unregisterAllWithDeviceToken(const std::string& deviceToken, Done done) const {
    auto self = *this;
    retrieveAllRegistrationsWithDeviceToken(deviceToken, [self, done](Listed listed) {
        if (!listed) {
            done(listed.failure());
            return;
        }
        self.deleteRegistrations(std::make_shared<NotificationHub::Registrations>(std::move(listed).value()), 0, done);
    });
}

} // namespace vexaqr
