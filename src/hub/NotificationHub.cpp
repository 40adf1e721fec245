#include <vexaqr/hub/NotificationHub.hpp>

#include <vexaqr/hub/HubLocalStorage.hpp>
#include <vexaqr/hub/HubTokenProvider.hpp>
#include <vexaqr/hub/NotificationHubHelper.hpp>
#include <vexaqr/hub/UserDefaults.hpp>
#include <vexaqr/platform/LogManager.hpp>

#include "hub/HubOperation.hpp"
#include "hub/HubRegistrationPayload.hpp"
#include "hub/HubThreadParameter.hpp"

#include <thread>

namespace vexaqr {

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
