// vexaqr api OPERATION: calls one backend operation and prints the response record or the error.
#include "CommandRegistry.hpp"

#include "account/platform/CurlHttpClient.hpp"
#include "account/service/Activation.hpp"
#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/GetNotificationId.hpp"
#include "account/service/GetPublicKeyOfPartner.hpp"
#include "account/service/RegisterPushNotification.hpp"
#include "account/service/Registration.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sync/Account.hpp>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <map>
#include <random>

namespace {

using namespace vexaqr;

struct ApiOptions {
    std::string operation;
    std::string baseUrl;
    std::string appId;
    std::string email;
    std::string partnerId;
    bool force = false;
    std::optional<std::string> activationCode;
    std::string pemPublicKey;
    std::string handle;
    std::string notificationId;
    std::string messageId;
    double timeoutSeconds = Constant::WebService::defaultTimeoutInterval;
    bool verbose = false;
    bool json = false;
};

// A random (version 4) UUID in upper-case canonical form, as registration sends for a new installation.
std::string makeApplicationId() {
    std::random_device device;
    std::uniform_int_distribution<int> nibble(0, 15);
    const char* digits = "0123456789ABCDEF";
    std::string id;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            id += '-';
        }
        int value = nibble(device);
        value = i == 12 ? 4 : i == 16 ? (value & 0x3) | 0x8 : value;
        id += digits[value];
    }
    return id;
}

// Runs one service call on a private main queue and prints its outcome; returns the exit status.
template <class Service, class Request>
int call(const ApiOptions& options, const WebServiceEnvironment& environment, RunLoop& loop,
         void (Service::*method)(const Request&, typename Service::Completion), const Request& request) {
    auto service = std::make_shared<Service>(environment);
    int exitCode = 1;
    bool done = false;
    ((*service).*method)(request, [&](auto record, std::optional<Error> error) {
        done = true;
        if (record) {
            if (options.json)
                std::cout << nlohmann::ordered_json{{"resultCode", record->resultCode},
                                                    {"result", Constant::Application::description(record->result())},
                                                    {"description", record->description()}}
                                 .dump()
                          << "\n";
            else
                std::cout << record->description() << "\n";
            exitCode = record->result() == Constant::Application::ResultCode::successfulOperation ? 0 : 1;
        } else if (error) {
            const auto failure = backendFailure(*error, environment.urlProvider->apiBaseUrl());
            if (options.json)
                std::cout << nlohmann::ordered_json{{"error", failure.message}}.dump() << "\n";
            std::cerr << "error: " << failure.message << "\n";
        }
    });
    const auto timeout = std::chrono::duration<double>(environment.timeoutInterval) + std::chrono::seconds(5);
    if (!loop.runUntil([&] { return done; }, std::chrono::duration_cast<RunLoop::Clock::duration>(timeout))) {
        std::cerr << "error: no answer\n";
    }
    return exitCode;
}

using Operation = std::function<int(const ApiOptions&, const WebServiceEnvironment&, RunLoop&)>;

const std::map<std::string, Operation>& operations() {
    static const std::map<std::string, Operation> table = {
        {"registerclient",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &RegistrationService::registerAccount,
                         Registration::RequestModel{o.email, o.partnerId, o.force, o.activationCode, o.appId});
         }},
        {"activateclient",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &ActivationService::activateAccount,
                         Activation::RequestModel{o.activationCode.value_or(""), o.appId});
         }},
        {"updatekeys",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &UpdateKeysService::updateKeys,
                         UpdateKeys::RequestModel{o.appId, o.pemPublicKey});
         }},
        {"partnerkey",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                         GetPublicKeyOfPartner::RequestModel{o.appId});
         }},
        {"push-getid",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &GetNotificationIdService::getNotificationId,
                         GetNotificationId::RequestModel{o.partnerId, o.handle});
         }},
        {"push-register",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &RegisterPushNotificationService::registerPushNotification,
                         RegisterPushNotification::RequestModel{o.partnerId, o.appId, o.notificationId, o.handle});
         }},
        {"getvxalist",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &VexaQrMessageIdListService::getVexaQrMessageIdList,
                         VexaQrMessageIdList::RequestModel{o.appId});
         }},
        {"getvxa",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &VexaQrMessageService::getVexaQrMessage,
                         VexaQrMessage::RequestModel{o.appId, o.messageId});
         }},
        {"deletevxa",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &DeleteVexaQrMessageService::deleteVexaQrMessage,
                         DeleteVexaQrMessage::RequestModel{o.appId, o.messageId});
         }},
        {"deleteallvxa",
         [](const ApiOptions& o, const WebServiceEnvironment& env, RunLoop& loop) {
             return call(o, env, loop, &DeleteAllVexaQrMessageService::deleteAllVexaQrMessage,
                         DeleteAllVexaQrMessage::RequestModel{o.appId});
         }},
    };
    return table;
}

int runApi(ApiOptions options) {
    auto urlProvider = std::make_shared<UrlProvider>();
    if (!options.baseUrl.empty()) {
        const auto baseUrl = Url::fromString(options.baseUrl);
        if (!baseUrl) {
            std::cerr << "error: --base-url is not a valid URL: " << options.baseUrl << "\n";
            return 2;
        }
        urlProvider->setApiBaseUrl(*baseUrl);
    }
    if (options.appId.empty() && options.operation == "registerclient") {
        options.appId = makeApplicationId();
        std::cerr << "appUniqueId: " << options.appId << "\n";
    }
    LogManager::standard().enabled = options.verbose;
    auto loop = std::make_shared<RunLoop>();
    const WebServiceEnvironment environment{
        .httpClient = std::make_shared<CurlHttpClient>(),
        .mainQueue = loop,
        .urlProvider = urlProvider,
        .timeoutInterval = std::chrono::milliseconds(static_cast<std::int64_t>(options.timeoutSeconds * 1000)),
    };
    return operations().at(options.operation)(options, environment, *loop);
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<ApiOptions>();
    auto* command = root.add_subcommand("api", "Call one backend operation and print the response record");
    std::vector<std::string> names;
    for (const auto& [name, operation] : operations()) {
        names.push_back(name);
    }
    command->add_option("operation", options->operation, "The operation")->required()->check(CLI::IsMember(names));
    command->add_option("--base-url", options->baseUrl, "Backend base address")
        ->default_str(std::string(UrlProvider::kDefaultApiBaseUrl));
    command->add_option("--app-id", options->appId, "Application id (UUID); registerclient makes one if absent");
    command->add_option("--email", options->email, "E-mail address (registerclient)");
    command->add_option("--partner-id", options->partnerId, "Partner id (registerclient, push-getid, push-register)");
    command->add_flag("--force", options->force, "Delete the user's other registrations (registerclient)");
    command->add_option("--activation-code", options->activationCode,
                        "Activation code (activateclient, registerclient)");
    command->add_option("--pem-public-key", options->pemPublicKey, "PEM text of the public key (updatekeys)");
    command->add_option("--handle", options->handle, "Push handle as hexadecimal (push-getid, push-register)");
    command->add_option("--notification-id", options->notificationId, "Notification id (push-register)");
    command->add_option("--message-id", options->messageId, "Message id (getvxa, deletevxa)");
    command->add_option("--timeout", options->timeoutSeconds, "Request timeout in seconds")->check(CLI::PositiveNumber);
    command->add_flag("--verbose", options->verbose, "Print the debug log");
    command->add_flag("--json", options->json, "The result as one JSON object: resultCode, result, description");
    command->callback([options, &exitCode] { exitCode = runApi(*options); });
});

} // namespace
