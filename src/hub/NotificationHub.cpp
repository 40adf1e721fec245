#include <vexaqr/hub/NotificationHub.hpp>

#include <vexaqr/hub/NotificationHubHelper.hpp>
#include <vexaqr/platform/LogManager.hpp>

#include "hub/HubHttpSupport.hpp"
#include "hub/HubRegistrationParser.hpp"
#include "hub/HubRegistrationPayload.hpp"
#include "hub/HubThreadParameter.hpp"
#include "hub/HubURLConnection.hpp"

#include <sys/utsname.h>

#include <future>
#include <thread>

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

bool isNotFound(const std::optional<Error>& error) {
    return error && error->domain == kNotificationHubErrorDomain && error->code == kNotFound;
}

// The last path segment of the Location URL, without its query.
std::string extractRegistrationIdFromLocationUri(const std::string& location) {
    std::string path = location.substr(0, location.find_first_of("?#"));
    while (path.ends_with('/'))
        path.pop_back();
    return path.substr(path.rfind('/') + 1);
}

} // namespace

// One operation's steps. Asynchronous operations send through the token provider's and the connection's
// callbacks; synchronous ones block at each request and run every step on the caller's thread, so both follow
// the same code and differ only in how a request is sent and how its failure reads.
struct HubOperation {
    using Done = NotificationHub::Completion;
    using Reply = std::function<void(Bytes body, std::optional<HttpResponse> response, std::optional<Error> error)>;
    using Listing = std::function<void(std::optional<NotificationHub::Registrations>, std::optional<Error>)>;

    std::shared_ptr<NotificationHub> hub;
    bool synchronous = false;

    HubLocalStorage& store() const { return *hub->_storageManager; }

    std::string registrationsUri() const { return hub->_serviceEndPoint + hub->_path + "/Registrations/"; }

    std::string allRegistrationsUri(const std::string& deviceToken) const {
        return registrationsUri() + "?$filter=deviceToken+eq+'" + NotificationHubHelper::urlEncode(deviceToken) +
               "'&api-version=" + std::string(NotificationHub::kApiVersion);
    }

    std::string registrationUri(const std::string& registrationId) const {
        return registrationsUri() + NotificationHubHelper::urlEncode(registrationId) +
               "?api-version=" + std::string(NotificationHub::kApiVersion);
    }

    std::string newRegistrationIdUri() const {
        return hub->_serviceEndPoint + hub->_path +
               "/registrationids/?api-version=" + std::string(NotificationHub::kApiVersion);
    }

    static HttpRequest PrepareUrlRequest(const std::string& url, const std::string& httpMethod, const std::string& eTag,
                                         const std::string& payload) {
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

    void send(HttpRequest request, Reply reply) const {
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
                connection.initWithRequest(std::move(authorised), [reply](std::optional<HttpResponse> response,
                                                                          Bytes body, std::optional<Error> failure) {
                    reply(std::move(body), std::move(response), std::move(failure));
                });
            });
    }

    void sendSynchronously(HttpRequest request, const Reply& reply) const {
        if (auto error = hub->_tokenProvider->setTokenWithRequest(request)) {
            reply({}, std::nullopt, std::move(error));
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
            outcome.error->message = "Fail to perform registration operation. Response:" + toString(outcome.body);
        } else if (outcome.error) {
            auto& log = LogManager::standard();
            log.log("Fail to perform registration operation.");
            log.log(hub::describeRequest(request));
            log.log("Headers:" + hub::describeHeaders(request.headers));
            log.log("Error Response:" + outcome.error->message);
        }
        reply(std::move(outcome.body), std::move(outcome.response), std::move(outcome.error));
    }

    void registerWithDeviceToken(const Bytes& deviceToken, const std::string& name, const std::string& payload,
                                 Done done) const {
        const std::string token = NotificationHub::convertDeviceToken(deviceToken);
        if (!store().isRefreshNeeded()) {
            createOrUpdateWith(name, payload, token, std::move(done));
            return;
        }
        // A store without a current version learns the hub's registrations of the last token first, so that
        // this device keeps one registration per name instead of adding another.
        const std::string refreshToken = store().deviceToken().empty() ? token : store().deviceToken();
        auto self = *this;
        retrieveAllRegistrationsWithDeviceToken(
            refreshToken, [self, name, payload, token, done](std::optional<NotificationHub::Registrations>,
                                                             std::optional<Error> error) {
                if (error) {
                    done(std::move(error));
                    return;
                }
                self.store().refreshFinishedWithDeviceToken(token);
                self.createOrUpdateWith(name, payload, token, done);
            });
    }

    void createOrUpdateWith(const std::string& name, const std::string& payload, const std::string& deviceToken,
                            Done done) const {
        auto self = *this;
        // A 410 means the hub forgot the registration: start over with a new identifier, once.
        auto upsertRecoveringGone = [self, name, payload, deviceToken, done](const std::string& registrationId) {
            self.upsertRegistrationWithName(name, registrationId, payload, deviceToken,
                                            [self, name, payload, deviceToken, done](std::optional<Error> error) {
                                                if (error && error->code == kGone)
                                                    self.createRegistrationIdAndUpsert(name, payload, deviceToken,
                                                                                       done);
                                                else
                                                    done(std::move(error));
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

    void createRegistrationIdAndUpsert(const std::string& name, const std::string& payload,
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
    void createRegistrationId(const std::string& name, const std::string& deviceToken,
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
                 self.store().updateWithRegistrationName(name, registrationId, "*", deviceToken);
                 done(registrationId, std::nullopt);
             });
    }

    void upsertRegistrationWithName(const std::string& name, const std::string& registrationId,
                                    const std::string& payload, const std::string& deviceToken, Done done) const {
        auto self = *this;
        send(PrepareUrlRequest(registrationUri(registrationId), "PUT", "", payload),
             [self, name, deviceToken, done](Bytes body, std::optional<HttpResponse>, std::optional<Error> error) {
                 if (!error)
                     self.rememberUpsertedRegistration(name, body);
                 done(std::move(error));
             });
    }

    void rememberUpsertedRegistration(const std::string& name, const Bytes& body) const {
        std::optional<Error> parseError;
        const auto registrations = HubRegistrationParser::parseRegistrations(body, parseError);
        if (!registrations)
            return; // keep what is stored: the identifier is still the one the hub accepted
        if (registrations->empty()) {
            store().deleteWithRegistrationName(name);
            return;
        }
        const auto& first = *registrations->front();
        store().updateWithRegistrationName(first.Name(), first.registrationId, first.ETag, first.deviceToken);
    }

    void retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken, Listing done) const {
        auto self = *this;
        send(PrepareUrlRequest(allRegistrationsUri(deviceToken), "GET", "", ""),
             [self, done](Bytes body, std::optional<HttpResponse>, std::optional<Error> error) {
                 if (isNotFound(error)) {
                     done(NotificationHub::Registrations{}, std::nullopt);
                     return;
                 }
                 if (error) {
                     done(std::nullopt, std::move(error));
                     return;
                 }
                 std::optional<Error> parseError;
                 auto registrations = HubRegistrationParser::parseRegistrations(body, parseError);
                 if (!registrations) {
                     done(std::nullopt, std::move(parseError));
                     return;
                 }
                 for (const auto& registration : *registrations)
                     self.rememberListedRegistration(*registration);
                 done(std::move(registrations), std::nullopt);
             });
    }

    void rememberListedRegistration(const HubRegistration& registration) const {
        std::string name = registration.Name();
        for (const auto& [storedName, entry] : store().registrations()) {
            if (entry.RegistrationId == registration.registrationId)
                name = storedName;
        }
        if (name.empty())
            name = registration.registrationId; // a template without a name
        store().updateWithRegistrationName(name, registration.registrationId, registration.ETag,
                                           registration.deviceToken);
    }

    void deleteRegistrationWithName(const std::string& name, Done done) const {
        const auto entry = store().getStoredRegistrationEntryWithRegistrationName(name);
        if (!entry) {
            done(std::nullopt);
            return;
        }
        auto self = *this;
        send(PrepareUrlRequest(registrationUri(entry->RegistrationId), "DELETE", "*", ""),
             [self, name, done](Bytes, std::optional<HttpResponse>, std::optional<Error> error) {
                 if (!error || isNotFound(error))
                     self.store().deleteWithRegistrationName(name);
                 done(std::move(error));
             });
    }

    // Deletes the listed registrations one by one by identifier (two listed under one name must both go); one
    // that is already gone counts as deleted. Stops at the first failure.
    void deleteRegistrations(std::shared_ptr<NotificationHub::Registrations> registrations, std::size_t next,
                             Done done) const {
        if (next == registrations->size()) {
            store().deleteAllRegistrations();
            done(std::nullopt);
            return;
        }
        auto self = *this;
        send(PrepareUrlRequest(registrationUri((*registrations)[next]->registrationId), "DELETE", "*", ""),
             [self, registrations, next, done](Bytes, std::optional<HttpResponse>, std::optional<Error> error) {
                 if (error && !isNotFound(error)) {
                     done(std::move(error));
                     return;
                 }
                 self.deleteRegistrations(registrations, next + 1, done);
             });
    }

    void unregisterAllWithDeviceToken(const std::string& deviceToken, Done done) const {
        auto self = *this;
        retrieveAllRegistrationsWithDeviceToken(
            deviceToken,
            [self, done](std::optional<NotificationHub::Registrations> registrations, std::optional<Error> error) {
                if (error) {
                    done(std::move(error));
                    return;
                }
                self.deleteRegistrations(std::make_shared<NotificationHub::Registrations>(std::move(*registrations)), 0,
                                         done);
            });
    }
};

namespace {

// Runs a synchronous operation: every step ran on this thread by the time `start` returns.
bool runSynchronously(const std::function<void(HubOperation::Done)>& start, std::optional<Error>& error) {
    bool finished = false;
    start([&](std::optional<Error> outcome) {
        error = std::move(outcome);
        finished = true;
    });
    if (!finished)
        error = NotificationHubHelper::errorWithMsg("Fail to perform registration operation.", -1);
    return !error;
}

} // namespace

std::shared_ptr<NotificationHub> NotificationHub::initWithConnectionString(const std::string& connectionString,
                                                                           const std::string& notificationHubPath,
                                                                           Collaborators collaborators) {
    const auto connection = NotificationHubHelper::parseConnectionString(connectionString);
    auto httpClient = collaborators.httpClient ? collaborators.httpClient : HttpClient::shared();
    auto provider = HubTokenProvider::initWithConnectionDictinary(connection, httpClient, collaborators.clock);
    if (!provider)
        return nullptr;
    if (notificationHubPath.empty()) {
        LogManager::standard().log("Notification hub path is missing.");
        return nullptr;
    }
    std::shared_ptr<NotificationHub> hub(new NotificationHub());
    hub->_path = notificationHubPath;
    hub->_serviceEndPoint = connection.at("endpoint");
    hub->_tokenProvider = std::move(provider);
    hub->_storageManager = std::make_unique<HubLocalStorage>(
        collaborators.userDefaults ? collaborators.userDefaults : UserDefaults::standard(), notificationHubPath);
    hub->_httpClient = std::move(httpClient);
    hub->_mainQueue = collaborators.mainQueue ? collaborators.mainQueue : MainQueue::shared();
    return hub;
}

NotificationHub::~NotificationHub() = default;

std::string NotificationHub::convertDeviceToken(const Bytes& deviceToken) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(deviceToken.size() * 2);
    for (std::uint8_t byte : deviceToken) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

std::optional<Error> NotificationHub::verifyTemplateName(const std::string& name) {
    if (name.find(':') != std::string::npos)
        return NotificationHubHelper::errorForInvalidTemplateName();
    if (name == HubRegistration::kDefaultName)
        return NotificationHubHelper::errorForReservedTemplateName();
    return std::nullopt;
}

void NotificationHub::registerNativeWithDeviceToken(const Bytes& deviceToken, const std::set<std::string>& tags,
                                                    Completion completion) {
    if (deviceToken.empty()) {
        completion(NotificationHubHelper::errorForNullDeviceToken());
        return;
    }
    HubOperation{shared_from_this(), false}.registerWithDeviceToken(
        deviceToken, std::string(HubRegistration::kDefaultName),
        hub::payloadWithDeviceToken(convertDeviceToken(deviceToken), tags), std::move(completion));
}

void NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                      const std::string& jsonBodyTemplate,
                                                      const std::string& expiryTemplate,
                                                      const std::set<std::string>& tags, Completion completion) {
    registerTemplateWithDeviceToken(deviceToken, name, jsonBodyTemplate, expiryTemplate, "", tags,
                                    std::move(completion));
}

void NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                      const std::string& jsonBodyTemplate,
                                                      const std::string& expiryTemplate,
                                                      const std::string& priorityTemplate,
                                                      const std::set<std::string>& tags, Completion completion) {
    if (deviceToken.empty()) {
        completion(NotificationHubHelper::errorForNullDeviceToken());
        return;
    }
    // A name with ":" would not survive the local store; "$Default" would overwrite the native entry.
    if (auto error = verifyTemplateName(name)) {
        completion(std::move(error));
        return;
    }
    const std::string token = convertDeviceToken(deviceToken);
    HubOperation{shared_from_this(), false}.registerWithDeviceToken(
        deviceToken, name,
        hub::templatePayloadWithDeviceToken(token, tags, jsonBodyTemplate, expiryTemplate, priorityTemplate, name),
        std::move(completion));
}

void NotificationHub::unregisterNativeWithCompletion(Completion completion) {
    HubOperation{shared_from_this(), false}.deleteRegistrationWithName(std::string(HubRegistration::kDefaultName),
                                                                       std::move(completion));
}

void NotificationHub::unregisterTemplateWithName(const std::string& name, Completion completion) {
    if (auto error = verifyTemplateName(name)) {
        completion(std::move(error));
        return;
    }
    HubOperation{shared_from_this(), false}.deleteRegistrationWithName(name, std::move(completion));
}

void NotificationHub::unregisterAllWithDeviceToken(const Bytes& deviceToken, Completion completion) {
    if (deviceToken.empty()) {
        completion(NotificationHubHelper::errorForNullDeviceToken());
        return;
    }
    HubThreadParameter parameter{shared_from_this(), convertDeviceToken(deviceToken), std::move(completion),
                                 _mainQueue->isCurrent()};
    std::thread([parameter = std::move(parameter)] {
        std::optional<Error> error;
        runSynchronously(
            [&](HubOperation::Done done) {
                HubOperation{parameter.hub, true}.unregisterAllWithDeviceToken(parameter.deviceToken, done);
            },
            error);
        if (parameter.calledFromMainQueue)
            parameter.hub->_mainQueue->post([completion = parameter.completion, error] { completion(error); });
        else
            parameter.completion(error);
    }).detach();
}

bool NotificationHub::registerNativeWithDeviceToken(const Bytes& deviceToken, const std::set<std::string>& tags,
                                                    std::optional<Error>& error) {
    return runSynchronously(
        [&](HubOperation::Done done) {
            if (deviceToken.empty()) {
                done(NotificationHubHelper::errorForNullDeviceToken());
                return;
            }
            HubOperation{shared_from_this(), true}.registerWithDeviceToken(
                deviceToken, std::string(HubRegistration::kDefaultName),
                hub::payloadWithDeviceToken(convertDeviceToken(deviceToken), tags), done);
        },
        error);
}

bool NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                      const std::string& jsonBodyTemplate,
                                                      const std::string& expiryTemplate,
                                                      const std::set<std::string>& tags, std::optional<Error>& error) {
    return registerTemplateWithDeviceToken(deviceToken, name, jsonBodyTemplate, expiryTemplate, "", tags, error);
}

bool NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                      const std::string& jsonBodyTemplate,
                                                      const std::string& expiryTemplate,
                                                      const std::string& priorityTemplate,
                                                      const std::set<std::string>& tags, std::optional<Error>& error) {
    return runSynchronously(
        [&](HubOperation::Done done) {
            if (deviceToken.empty()) {
                done(NotificationHubHelper::errorForNullDeviceToken());
                return;
            }
            if (auto invalid = verifyTemplateName(name)) {
                done(std::move(invalid));
                return;
            }
            const std::string token = convertDeviceToken(deviceToken);
            HubOperation{shared_from_this(), true}.registerWithDeviceToken(
                deviceToken, name,
                hub::templatePayloadWithDeviceToken(token, tags, jsonBodyTemplate, expiryTemplate, priorityTemplate,
                                                    name),
                done);
        },
        error);
}

bool NotificationHub::unregisterNativeWithError(std::optional<Error>& error) {
    return runSynchronously(
        [&](HubOperation::Done done) {
            HubOperation{shared_from_this(), true}.deleteRegistrationWithName(
                std::string(HubRegistration::kDefaultName), done);
        },
        error);
}

bool NotificationHub::unregisterTemplateWithName(const std::string& name, std::optional<Error>& error) {
    return runSynchronously(
        [&](HubOperation::Done done) {
            if (auto invalid = verifyTemplateName(name)) {
                done(std::move(invalid));
                return;
            }
            HubOperation{shared_from_this(), true}.deleteRegistrationWithName(name, done);
        },
        error);
}

bool NotificationHub::unregisterAllWithDeviceToken(const Bytes& deviceToken, std::optional<Error>& error) {
    return runSynchronously(
        [&](HubOperation::Done done) {
            if (deviceToken.empty()) {
                done(NotificationHubHelper::errorForNullDeviceToken());
                return;
            }
            HubOperation{shared_from_this(), true}.unregisterAllWithDeviceToken(convertDeviceToken(deviceToken), done);
        },
        error);
}

std::optional<NotificationHub::Registrations>
NotificationHub::retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken, std::optional<Error>& error) {
    std::optional<Registrations> result;
    HubOperation{shared_from_this(), true}.retrieveAllRegistrationsWithDeviceToken(
        deviceToken, [&](std::optional<Registrations> registrations, std::optional<Error> failure) {
            result = std::move(registrations);
            error = std::move(failure);
        });
    return result;
}

} // namespace vexaqr
