#include <vexaqr/hub/NotificationHub.hpp>

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include "account/hub/UserDefaults.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/hub/HubOperation.hpp"
#include "account/hub/HubRegistrationPayload.hpp"
#include "account/hub/HubThreadParameter.hpp"

#include <thread>

namespace vexaqr {

namespace {

// Runs a synchronous operation: every step ran on this thread by the time `start` returns.
Outcome<void, Error> runSynchronously(const std::function<void(HubOperation::Done)>& start) {
    std::optional<Error> error;
    bool finished = false;
    start([&](std::optional<Error> outcome) {
        error = std::move(outcome);
        finished = true;
    });
    if (!finished)
        return NotificationHubHelper::errorWithMsg("Fail to perform registration operation.", -1);
    if (error)
        return *std::move(error);
    return {};
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

const HubTokenProvider& NotificationHub::tokenProvider() const {
    return *_tokenProvider;
}

HubLocalStorage& NotificationHub::storageManager() {
    return *_storageManager;
}

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

Outcome<void, Error> NotificationHub::verifyTemplateName(const std::string& name) {
    if (name.find(':') != std::string::npos)
        return NotificationHubHelper::errorForInvalidTemplateName();
    if (name == HubRegistration::kDefaultName)
        return NotificationHubHelper::errorForReservedTemplateName();
    return {};
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
    if (auto verified = verifyTemplateName(name); !verified) {
        completion(verified.failure());
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
    if (auto verified = verifyTemplateName(name); !verified) {
        completion(verified.failure());
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
        const auto outcome = runSynchronously([&](HubOperation::Done done) {
            HubOperation{parameter.hub, true}.unregisterAllWithDeviceToken(parameter.deviceToken, done);
        });
        const auto error = outcome ? std::nullopt : std::optional<Error>(outcome.failure());
        if (parameter.calledFromMainQueue)
            parameter.hub->_mainQueue->post([completion = parameter.completion, error] { completion(error); });
        else
            parameter.completion(error);
    }).detach();
}

Outcome<void, Error> NotificationHub::registerNativeWithDeviceToken(const Bytes& deviceToken,
                                                                    const std::set<std::string>& tags) {
    return runSynchronously([&](HubOperation::Done done) {
        if (deviceToken.empty()) {
            done(NotificationHubHelper::errorForNullDeviceToken());
            return;
        }
        HubOperation{shared_from_this(), true}.registerWithDeviceToken(
            deviceToken, std::string(HubRegistration::kDefaultName),
            hub::payloadWithDeviceToken(convertDeviceToken(deviceToken), tags), done);
    });
}

Outcome<void, Error> NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                                      const std::string& jsonBodyTemplate,
                                                                      const std::string& expiryTemplate,
                                                                      const std::set<std::string>& tags) {
    return registerTemplateWithDeviceToken(deviceToken, name, jsonBodyTemplate, expiryTemplate, "", tags);
}

Outcome<void, Error> NotificationHub::registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                                      const std::string& jsonBodyTemplate,
                                                                      const std::string& expiryTemplate,
                                                                      const std::string& priorityTemplate,
                                                                      const std::set<std::string>& tags) {
    return runSynchronously([&](HubOperation::Done done) {
        if (deviceToken.empty()) {
            done(NotificationHubHelper::errorForNullDeviceToken());
            return;
        }
        if (auto verified = verifyTemplateName(name); !verified) {
            done(verified.failure());
            return;
        }
        const std::string token = convertDeviceToken(deviceToken);
        HubOperation{shared_from_this(), true}.registerWithDeviceToken(
            deviceToken, name,
            hub::templatePayloadWithDeviceToken(token, tags, jsonBodyTemplate, expiryTemplate, priorityTemplate, name),
            done);
    });
}

Outcome<void, Error> NotificationHub::unregisterNative() {
    return runSynchronously([&](HubOperation::Done done) {
        HubOperation{shared_from_this(), true}.deleteRegistrationWithName(std::string(HubRegistration::kDefaultName),
                                                                          done);
    });
}

Outcome<void, Error> NotificationHub::unregisterTemplateWithName(const std::string& name) {
    return runSynchronously([&](HubOperation::Done done) {
        if (auto verified = verifyTemplateName(name); !verified) {
            done(verified.failure());
            return;
        }
        HubOperation{shared_from_this(), true}.deleteRegistrationWithName(name, done);
    });
}

Outcome<void, Error> NotificationHub::unregisterAllWithDeviceToken(const Bytes& deviceToken) {
    return runSynchronously([&](HubOperation::Done done) {
        if (deviceToken.empty()) {
            done(NotificationHubHelper::errorForNullDeviceToken());
            return;
        }
        HubOperation{shared_from_this(), true}.unregisterAllWithDeviceToken(convertDeviceToken(deviceToken), done);
    });
}

Outcome<NotificationHub::Registrations, Error>
NotificationHub::retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken) {
    std::optional<Outcome<Registrations, Error>> result;
    HubOperation{shared_from_this(), true}.retrieveAllRegistrationsWithDeviceToken(
        deviceToken, [&](Outcome<Registrations, Error> listed) { result = std::move(listed); });
    if (!result)
        return NotificationHubHelper::errorWithMsg("Fail to perform registration operation.", -1);
    return *std::move(result);
}

} // namespace vexaqr
