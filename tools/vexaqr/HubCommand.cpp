// vexaqr hub: drives the push notification hub client by hand, and prints what it sends, so that another
// implementation can be checked against this one.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include "account/hub/UserDefaults.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/hub/NotificationHub.hpp>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

namespace {

using namespace vexaqr;

// The connection string holds a key: besides the command line, where other users see it in `ps`, it can come
// from a file or from this environment variable.
constexpr const char* kConnectionStringVariable = "VEXAQR_HUB_CONNECTION_STRING";

struct HubOptions {
    std::string connectionString;
    std::string connectionStringFile;
    std::string hubName;
    std::string deviceToken;
    std::vector<std::string> tags;
    std::string templateName;
    std::string bodyTemplate;
    std::string expiry;
    std::string priority;
    std::string dataDir;
    std::string url;
    std::int64_t now = 0;
    bool json = false;
    bool verbose = false;
};

std::optional<Bytes> deviceTokenOf(const HubOptions& options) {
    auto token = cli::bytesFromHex(options.deviceToken);
    if (!token)
        std::cerr << "vexaqr hub: --device-token must be hexadecimal bytes\n";
    return token;
}

int report(const Error& error) {
    std::cerr << "vexaqr hub: " << error.message << " (" << error.domain << " " << error.code << ")\n";
    return 1;
}

int report(const Outcome<void, Error>& outcome) {
    return outcome ? 0 : report(outcome.failure());
}

// Takes the connection string from --hub-connection-string-file (one line) or the environment when it was not given
// on the command line. Nothing when it is known, else the exit status: 1 for an unreadable file, 2 for none.
std::optional<int> resolveConnectionString(HubOptions& options) {
    if (!options.connectionString.empty())
        return std::nullopt;
    if (!options.connectionStringFile.empty()) {
        auto bytes = cli::readWholeFile(options.connectionStringFile);
        if (!bytes)
            return 1;
        options.connectionString = toString(*bytes);
        cleanse(*bytes);
        while (options.connectionString.ends_with('\n') || options.connectionString.ends_with('\r'))
            options.connectionString.pop_back();
        return std::nullopt;
    }
    if (const char* fromEnvironment = std::getenv(kConnectionStringVariable); fromEnvironment && *fromEnvironment) {
        options.connectionString = fromEnvironment;
        return std::nullopt;
    }
    std::cerr << "vexaqr hub: give the connection string with --hub-connection-string-file, "
              << kConnectionStringVariable << " or --hub-connection-string\n";
    return 2;
}

// Runs a hub command once its connection string is known.
int withConnectionString(HubOptions& options, const std::function<int(const HubOptions&)>& command) {
    if (const auto status = resolveConnectionString(options))
        return *status;
    return command(options);
}

// Says why a connection string cannot be used; true when it can.
bool isUsable(const std::string& connectionString) {
    const auto problem = HubTokenProvider::whyUnusable(NotificationHubHelper::parseConnectionString(connectionString));
    if (problem)
        std::cerr << "vexaqr hub: " << *problem << '\n';
    return !problem;
}

std::shared_ptr<NotificationHub> openHub(const HubOptions& options) {
    if (!isUsable(options.connectionString))
        return nullptr;
    LogManager::standard().enabled = options.verbose;
    NotificationHub::Collaborators collaborators;
    if (!options.dataDir.empty()) {
        const std::filesystem::path directory = options.dataDir;
        collaborators.userDefaults = std::make_shared<UserDefaults>([directory] { return directory; });
    }
    auto hub = NotificationHub::initWithConnectionString(options.connectionString, options.hubName, collaborators);
    if (!hub)
        std::cerr << "vexaqr hub: the hub name is not usable\n";
    return hub;
}

int printToken(const HubOptions& options, bool nowGiven) {
    HubTokenProvider::Clock clock;
    if (nowGiven)
        clock = [now = options.now] { return std::chrono::system_clock::time_point(std::chrono::seconds(now)); };
    if (!isUsable(options.connectionString))
        return 1;
    auto provider = HubTokenProvider::initWithConnectionDictinary(
        NotificationHubHelper::parseConnectionString(options.connectionString), nullptr, clock);
    if (!provider)
        return 1;
    HttpRequest request;
    request.url = options.url;
    if (const int status = report(provider->setTokenWithRequest(request)))
        return status;
    for (const auto& [name, value] : request.headers) {
        if (name != "Authorization")
            continue;
        if (options.json)
            std::cout << nlohmann::json{{"authorization", value}}.dump() << '\n';
        else
            std::cout << value << '\n';
    }
    return 0;
}

int registerDevice(const HubOptions& options) {
    const auto token = deviceTokenOf(options);
    if (!token)
        return 2;
    auto hub = openHub(options);
    if (!hub)
        return 1;
    const std::set<std::string> tags(options.tags.begin(), options.tags.end());
    const auto registered =
        options.templateName.empty()
            ? hub->registerNativeWithDeviceToken(*token, tags)
            : hub->registerTemplateWithDeviceToken(*token, options.templateName, options.bodyTemplate, options.expiry,
                                                   options.priority, tags);
    if (const int status = report(registered))
        return status;
    const auto name = options.templateName.empty() ? std::string(HubRegistration::kDefaultName) : options.templateName;
    const auto entry = hub->storageManager().getStoredRegistrationEntryWithRegistrationName(name);
    const std::string id = entry ? entry->RegistrationId : "";
    const std::string etag = entry ? entry->ETag : "";
    if (options.json)
        std::cout << nlohmann::json{{"name", name}, {"registrationId", id}, {"etag", etag}}.dump() << '\n';
    else
        std::cout << name << ' ' << id << ' ' << etag << '\n';
    return 0;
}

int unregister(const HubOptions& options) {
    auto hub = openHub(options);
    if (!hub)
        return 1;
    return report(options.templateName.empty() ? hub->unregisterNative()
                                               : hub->unregisterTemplateWithName(options.templateName));
}

int unregisterAll(const HubOptions& options) {
    const auto token = deviceTokenOf(options);
    if (!token)
        return 2;
    auto hub = openHub(options);
    if (!hub)
        return 1;
    return report(hub->unregisterAllWithDeviceToken(*token));
}

int list(const HubOptions& options) {
    const auto token = deviceTokenOf(options);
    if (!token)
        return 2;
    auto hub = openHub(options);
    if (!hub)
        return 1;
    const auto registrations =
        hub->retrieveAllRegistrationsWithDeviceToken(NotificationHub::convertDeviceToken(*token));
    if (!registrations)
        return report(registrations.failure());
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& registration : *registrations)
            list.push_back({{"name", registration->Name()},
                            {"registrationId", registration->registrationId},
                            {"etag", registration->ETag},
                            {"deviceToken", registration->deviceToken},
                            {"tags", registration->tags}});
        std::cout << list.dump() << '\n';
        return 0;
    }
    for (const auto& registration : *registrations)
        std::cout << registration->Name() << ' ' << registration->registrationId << ' ' << registration->ETag << ' '
                  << registration->deviceToken << ' '
                  << NotificationHubHelper::convertTagSetToString(registration->tags) << '\n';
    return 0;
}

void addConnectionStringOptions(CLI::App* command, HubOptions& options) {
    auto* text = command->add_option("--hub-connection-string,--connection-string", options.connectionString,
                                     "The hub's connection string; it holds a key, which `ps` shows to other "
                                     "users: prefer --hub-connection-string-file or " +
                                         std::string(kConnectionStringVariable));
    auto* file =
        command->add_option("--hub-connection-string-file,--connection-string-file", options.connectionStringFile,
                            "File holding the hub's connection string (one line)");
    text->excludes(file);
}

// The options every command that talks to a hub needs.
void addHubOptions(CLI::App* command, HubOptions& options) {
    addConnectionStringOptions(command, options);
    command->add_option("--hub-name", options.hubName, "The hub's name (path)")->required();
    command->add_option("--data-dir", options.dataDir, "Directory of the local registration store");
    command->add_flag("--verbose", options.verbose, "Print the debug log");
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<HubOptions>();
    auto* hub = root.add_subcommand("hub", "Register this device at a push notification hub, by hand");
    hub->require_subcommand(1);

    auto* token = hub->add_subcommand("token", "Print the Authorization value for a request to URL");
    addConnectionStringOptions(token, *options);
    token->add_option("--url", options->url, "The request's address")->required();
    token->add_flag("--json", options->json, "The value as one JSON object");
    auto* now = token->add_option("--now", options->now, "Sign as if it were this Unix time");
    token->callback([options, now, &exitCode] {
        exitCode =
            withConnectionString(*options, [now](const HubOptions& o) { return printToken(o, now->count() > 0); });
    });

    auto* registration = hub->add_subcommand("register", "Create or update the native or a template registration");
    addHubOptions(registration, *options);
    registration->add_option("--device-token", options->deviceToken, "Push token as hexadecimal")->required();
    registration->add_option("--tags", options->tags, "Tags")->delimiter(',');
    auto* templateName = registration->add_option("--template", options->templateName, "Template name");
    auto* body = registration->add_option("--body-template", options->bodyTemplate, "JSON body template");
    auto* expiry = registration->add_option("--expiry", options->expiry, "Expiry template");
    auto* priority = registration->add_option("--priority", options->priority, "Priority template");
    templateName->needs(body);
    body->needs(templateName);
    expiry->needs(templateName);
    priority->needs(templateName);
    registration->add_flag("--json", options->json, "The registration as one JSON object");
    registration->callback([options, &exitCode] { exitCode = withConnectionString(*options, registerDevice); });

    auto* removal = hub->add_subcommand("unregister", "Delete the native or a template registration");
    addHubOptions(removal, *options);
    removal->add_option("--template", options->templateName, "Template name");
    removal->callback([options, &exitCode] { exitCode = withConnectionString(*options, unregister); });

    auto* removeAll = hub->add_subcommand("unregister-all", "Delete every registration of a device token");
    addHubOptions(removeAll, *options);
    removeAll->add_option("--device-token", options->deviceToken, "Push token as hexadecimal")->required();
    removeAll->callback([options, &exitCode] { exitCode = withConnectionString(*options, unregisterAll); });

    auto* listing = hub->add_subcommand("list", "Print the hub's registrations of a device token");
    addHubOptions(listing, *options);
    listing->add_option("--device-token", options->deviceToken, "Push token as hexadecimal")->required();
    listing->add_flag("--json", options->json, "The registrations as one JSON array");
    listing->callback([options, &exitCode] { exitCode = withConnectionString(*options, list); });
});

} // namespace
