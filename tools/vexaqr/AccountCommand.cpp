// vexaqr account SUBCOMMAND: the backend account of one installation, driven through the SDK facade:
// set-up, registration and activation, the messages, deletions, log-out and the stored state.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"
#include "RecordPrinter.hpp"

#include "account/platform/CurlHttpClient.hpp"
#include "account/sdk/AppDataService.hpp"
#include "account/sdk/PersistencyManager.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/UrlProvider.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>
#include <vexaqr/sync/Account.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using namespace vexaqr;
using Constant::Application::ResultCode;

// Key generation and several backend round trips fit comfortably; a silent backend does not hang us.
constexpr auto kAnswerTimeout = std::chrono::seconds(120);

struct AccountOptions {
    std::string baseUrl;
    std::string dataDirectory;
    bool verbose = false;
    // setup, activate
    std::string partnerPublicKeyFile;
    std::string partnerPrivateKeyFile;
    // register, activate
    std::string email;
    std::string partnerId;
    bool force = false;
    std::string activationCode;
    int keySize = 2048;
    std::string deviceToken;
    std::string hubName;
    std::string hubConnectionString;
    // messages, status, delete
    bool json = false;
    bool showSecrets = false;
    std::string contentDirectory;
    std::string messageId;
};

// The installation the options name: --data-dir, else the default one.
std::shared_ptr<Installation> installationFor(const AccountOptions& options) {
    return options.dataDirectory.empty() ? Installation::standard() : Installation::inDirectory(options.dataDirectory);
}

// One facade over a private main queue, as a host application would hold it.
class Session {
public:
    Session(const AccountOptions& options, std::shared_ptr<Installation> installation)
        : _loop(std::make_shared<RunLoop>()),
          _baseUrl(options.baseUrl.empty() ? std::string(UrlProvider::kDefaultApiBaseUrl) : options.baseUrl) {
        auto urlProvider = std::make_shared<UrlProvider>();
        _sdk = std::make_unique<VexaQrSDK>(VexaQrSDK::Environment{
            .urlProvider = urlProvider,
            .httpClient = std::make_shared<CurlHttpClient>(),
            .mainQueue = _loop,
            .installation = std::move(installation),
            .hubFactory = nullptr,
        });
        if (auto url = Url::fromString(_baseUrl))
            _sdk->setup(*url, std::nullopt, std::nullopt);
        LogManager::standard().toStandardError = options.json; // keeps the JSON on standard output whole
        if (options.verbose)
            _sdk->enableLogging();
    }

    VexaQrSDK& sdk() { return *_sdk; }
    const std::string& baseUrl() const { return _baseUrl; }

    /// Runs the main queue until `done` is set; false when no answer came in time.
    bool waitFor(const bool& done) {
        return _loop->runUntil([&done] { return done; }, kAnswerTimeout);
    }

private:
    std::shared_ptr<RunLoop> _loop;
    std::string _baseUrl;
    std::unique_ptr<VexaQrSDK> _sdk;
};

void printError(const std::optional<Error>& error, const std::string& baseUrl) {
    if (error)
        std::cerr << "error: " << backendFailure(*error, baseUrl).message << "\n";
}

std::string describeCode(std::int64_t code) {
    auto known = Constant::Application::resultCodeFromRawValue(code);
    return std::to_string(code) + (known ? " (" + std::string(Constant::Application::description(*known)) + ")" : "");
}

// The exit status of an outcome: 0 only for a success; otherwise the reason goes to standard error.
int exitStatus(std::optional<std::int64_t> code, const std::optional<Error>& error, const std::string& baseUrl) {
    if (code && *code == rawValue(ResultCode::successfulOperation))
        return 0;
    const bool errorSaysTheCode =
        code && error && error->domain == Constant::Application::errorDomain && error->code == *code;
    if (code && !errorSaysTheCode)
        std::cerr << "error: result " << describeCode(*code) << "\n";
    else if (!code && !error)
        std::cerr << "error: not registered: this data directory holds no installation (vexaqr account register)\n";
    printError(error, baseUrl);
    return 1;
}

std::optional<std::string> readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "error: cannot read " << path << "\n";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The activation record; nothing (reported) when a PEM file cannot be read.
std::optional<Activation::ViewModel> activationData(const AccountOptions& options) {
    Activation::ViewModel viewModel{
        .activationCode = options.activationCode,
        .rsaKeySize = static_cast<Activation::RsaKeySize>(options.keySize),
        .deviceToken = cli::bytesFromHex(options.deviceToken).value_or(Bytes{}),
        .notificationHubName = options.hubName,
        .notificationHubConnectionString = options.hubConnectionString,
        .partnerId = options.partnerId,
        .partnerPublicKey = std::nullopt,
        .partnerPrivateKey = std::nullopt,
    };
    if (!options.partnerPublicKeyFile.empty() && !(viewModel.partnerPublicKey = readText(options.partnerPublicKeyFile)))
        return std::nullopt;
    if (!options.partnerPrivateKeyFile.empty() &&
        !(viewModel.partnerPrivateKey = readText(options.partnerPrivateKeyFile)))
        return std::nullopt;
    return viewModel;
}

// Runs one facade call that reports a result code and waits for its answer.
int runForResult(Session& session, const std::function<void(VexaQrSDK::ResultCompletion)>& call) {
    bool done = false;
    std::optional<std::int64_t> code;
    std::optional<Error> error;
    call([&](std::optional<std::int64_t> answeredCode, std::optional<Error> answeredError) {
        code = answeredCode;
        error = std::move(answeredError);
        done = true;
    });
    if (!session.waitFor(done)) {
        std::cerr << "error: no answer from the backend\n";
        return 1;
    }
    return exitStatus(code, error, session.baseUrl());
}

int setup(const AccountOptions& options, Session& session) {
    auto publicPem = readText(options.partnerPublicKeyFile);
    auto privatePem = readText(options.partnerPrivateKeyFile);
    if (!publicPem || !privatePem)
        return 1;
    session.sdk().setup(std::nullopt, publicPem, privatePem);
    auto appData = session.sdk().appDataService();
    if (!appData->getPartnerPublicKey() || !appData->getPartnerPrivateKey()) {
        std::cerr << "error: the partner's keys could not be stored (are they RSA keys in PEM form?)\n";
        return 1;
    }
    return 0;
}

int registerAccount(const AccountOptions& options, Session& session) {
    Registration::ViewModel viewModel{options.email, options.partnerId, options.force, std::nullopt};
    if (!options.activationCode.empty() && !(viewModel.activationData = activationData(options)))
        return 1;
    return runForResult(session, [&](auto completion) { session.sdk().registerAccount(viewModel, completion); });
}

int activate(const AccountOptions& options, Session& session) {
    auto viewModel = activationData(options);
    if (!viewModel)
        return 1;
    return runForResult(session, [&](auto completion) { session.sdk().activateAccount(*viewModel, completion); });
}

// Message ids come from the backend: only safe characters reach a file name.
std::string fileNameFor(const std::optional<std::string>& messageId, std::size_t index) {
    std::string name = messageId.value_or("message-" + std::to_string(index));
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            c = '_';
    return name + ".content";
}

// Why a record's content is not there to read; nothing when it is.
std::optional<std::string> unopenedContent(const VxaMessage& message) {
    const auto& record = message.processedVxaData;
    if (record && record->actualVxaData)
        return std::nullopt;
    if (!record)
        return "the record was not decoded";
    if (record->vxaType && isEncrypted(*record->vxaType) && !record->aesKey)
        return "ENCRYPTED content opens only with the partner's private key, which is not stored (activation "
               "empties the key store: give the pair to `account activate --partner-pub PEM --partner-key PEM`)";
    return std::string(describe(record->verificationStatus()));
}

nlohmann::json messageJson(const VxaMessage& message, cli::Secrets secrets) {
    auto optionalText = [](const std::optional<std::string>& text) {
        return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
    };
    return {{"vxaMessageId", optionalText(message.vxaMessageId)},
            {"vxaInfo", optionalText(message.vxaInfo)},
            {"vxaTemplate", optionalText(message.vxaTemplate)},
            {"contentNotOpened", optionalText(unopenedContent(message))},
            {"processedVxaData",
             message.processedVxaData ? cli::recordJson(*message.processedVxaData, secrets) : nlohmann::json(nullptr)}};
}

// Prints each message as it arrives and writes its content, keeping only what the summary needs, so that
// many or large messages do not add up in memory.
class MessagePrinter {
public:
    explicit MessagePrinter(const AccountOptions& options)
        : _json(options.json), _secrets(cli::secretsFor(options.showSecrets)),
          _contentDirectory(options.contentDirectory) {
        std::error_code ignored; // a folder that cannot be made shows as a file that cannot be written
        if (!_contentDirectory.empty())
            std::filesystem::create_directories(_contentDirectory, ignored);
    }

    void print(const VxaMessage& message) {
        if (_json) {
            std::cout << (_count == 0 ? "{\"messages\":[" : ",") << messageJson(message, _secrets).dump();
        } else {
            std::cout << "message: " << message.vxaMessageId.value_or("(no id)") << "\n";
            std::cout << "info: " << message.vxaInfo.value_or("") << "\ntemplate: " << message.vxaTemplate.value_or("")
                      << "\n";
            if (message.processedVxaData)
                cli::printRecordText(*message.processedVxaData, std::cout, _secrets);
        }
        if (auto why = unopenedContent(message)) {
            if (!_json)
                std::cout << "content: NOT OPENED: " << *why << "\n";
            _unopened.push_back("error: the content of message " + message.vxaMessageId.value_or("(no id)") +
                                " could not be opened: " + *why + "\n");
        }
        if (!_json)
            std::cout << "\n";
        writeContent(message);
        ++_count;
    }

    /// The summary after the last message; `listed` is false when there was no list at all. The contents that
    /// could not be opened are named on standard error after it, so that no note splits the JSON line.
    void finish(std::int64_t code, bool listed) {
        if (_json) {
            if (_count == 0)
                std::cout << "{\"messages\":" << (listed ? "[]" : "null");
            else
                std::cout << "]";
            std::cout << ",\"resultCode\":" << code << "}\n";
        } else {
            std::cout << "result: " << describeCode(code) << "\n";
            std::cout << "messages: " << (listed ? std::to_string(_count) : "none (no cache or no keys)") << "\n";
        }
        std::cout.flush();
        for (const auto& note : _unopened)
            std::cerr << note;
    }

    /// Whether every content could be opened, and written where asked to.
    bool allOpened() const { return _unopened.empty(); }
    bool allWritten() const { return _allWritten; }

private:
    void writeContent(const VxaMessage& message) {
        const auto& record = message.processedVxaData;
        if (_contentDirectory.empty() || !record || !record->actualVxaData)
            return;
        _allWritten &= cli::writeWholeFile(
            (std::filesystem::path(_contentDirectory) / fileNameFor(message.vxaMessageId, _count)).string(),
            *record->actualVxaData, true);
    }

    bool _json;
    cli::Secrets _secrets;
    std::string _contentDirectory;
    std::size_t _count = 0;
    std::vector<std::string> _unopened; // one short note per message whose content could not be opened
    bool _allWritten = true;
};

int messages(const AccountOptions& options, Session& session) {
    MessagePrinter printer(options);
    bool done = false;
    std::int64_t code = rawValue(ResultCode::unknownResultCode);
    bool listed = false;
    std::optional<Error> error;
    session.sdk().visitVexaQrMessages(
        {}, [&printer](VxaMessage message) { printer.print(message); },
        [&](std::int64_t answeredCode, bool answeredList, std::optional<Error> answeredError) {
            code = answeredCode;
            listed = answeredList;
            error = std::move(answeredError);
            done = true;
        });
    if (!session.waitFor(done)) {
        std::cerr << "error: no answer from the backend\n";
        return 1;
    }
    printer.finish(code, listed);
    const int status = exitStatus(code, error, session.baseUrl());
    return status != 0 || !printer.allOpened() || !printer.allWritten() ? 1 : 0;
}

// Runs one facade call that answers with a response model, through the result-code path.
template <class Response>
int runForResponse(
    Session& session,
    const std::function<void(std::function<void(std::optional<Response>, std::optional<Error>)>)>& call) {
    return runForResult(session, [&](VexaQrSDK::ResultCompletion completion) {
        call([completion](std::optional<Response> response, std::optional<Error> error) {
            completion(response ? std::optional<std::int64_t>(response->resultCode) : std::nullopt, std::move(error));
        });
    });
}

int deleteMessage(const AccountOptions& options, Session& session) {
    return runForResponse<DeleteVexaQrMessage::ResponseModel>(
        session, [&](auto completion) { session.sdk().deleteVexaQrMessage({options.messageId}, completion); });
}

int deleteAll(const AccountOptions& /*options*/, Session& session) {
    return runForResponse<DeleteAllVexaQrMessage::ResponseModel>(
        session, [&](auto completion) { session.sdk().deleteAllVexaQrMessage({}, completion); });
}

int logout(const AccountOptions& /*options*/, Session& session) {
    auto& sdk = session.sdk();
    sdk.logout();
    // The facade's logout reports nothing; what is still there shows a reset the data directory did not keep.
    const auto appData = sdk.appDataService();
    if (appData->getAppUniqueId() || sdk.getUserEmail() || appData->getClientPrivateKey() ||
        appData->getPartnerPublicKey() || sdk.getRegistrationState() != VexaQrSDKRegistrationState::initial) {
        std::cerr << "error: the logout could not be stored in the data directory (is another program writing to "
                     "it?)\n";
        return 1;
    }
    return 0;
}

int status(const AccountOptions& options, Session& session) {
    auto& sdk = session.sdk();
    const auto state = name(sdk.getRegistrationState());
    const auto email = sdk.getUserEmail();
    const auto userId = sdk.getVexaQrUserId();
    const auto appUniqueId = sdk.appDataService()->getAppUniqueId();
    if (options.json) {
        nlohmann::json out{{"registrationState", state},
                           {"email", email ? nlohmann::json(*email) : nlohmann::json(nullptr)},
                           {"vxaUserId", userId ? nlohmann::json(*userId) : nlohmann::json(nullptr)},
                           {"appUniqueId", appUniqueId ? nlohmann::json(appUniqueId->uuidString()) : nullptr}};
        std::cout << out.dump() << "\n";
        return 0;
    }
    std::cout << "state: " << state << "\nemail: " << email.value_or("(none)")
              << "\nuser id: " << (userId ? std::to_string(*userId) : "(none)")
              << "\napp unique id: " << (appUniqueId ? appUniqueId->uuidString() : "(none)") << "\n";
    return 0;
}

// Options every subcommand takes.
CLI::App* addSubcommand(CLI::App& account, const std::string& name, const std::string& description,
                        AccountOptions& options) {
    auto* command = account.add_subcommand(name, description);
    command->add_option("--base-url", options.baseUrl, "Backend base address")
        ->default_str(std::string(UrlProvider::kDefaultApiBaseUrl))
        ->check([](const std::string& text) { return Url::fromString(text) ? "" : "not a valid URL: " + text; });
    command->add_option("--data-dir", options.dataDirectory,
                        "Where the installation's data lives; default: SDK folder");
    command->add_flag("--verbose", options.verbose, "Print the debug log");
    return command;
}

const CLI::Validator
    kHexToken([](const std::string& text) { return cli::bytesFromHex(text) ? "" : "not hexadecimal bytes: " + text; },
              "HEX");

void addActivationOptions(CLI::App& command, AccountOptions& options, bool required) {
    auto* code = command.add_option("--activation-code", options.activationCode, "Activation code");
    command.add_option("--key-size", options.keySize, "Size of the installation's RSA key")
        ->check(CLI::IsMember({1024, 2048}))
        ->capture_default_str();
    auto* token = command.add_option("--device-token", options.deviceToken, "Push device token")->check(kHexToken);
    auto* hub = command.add_option("--hub-name", options.hubName, "Notification hub path");
    auto* connection = command.add_option("--hub-connection-string", options.hubConnectionString,
                                          "Notification hub connection string");
    for (auto* option : {code, token, hub, connection}) {
        if (required)
            option->required();
        else if (option != code)
            option->needs(code);
    }
    if (!required)
        code->needs(token)->needs(hub)->needs(connection);
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<AccountOptions>();
    auto* account = root.add_subcommand("account", "The installation's backend account, through the SDK facade");
    account->footer("Activation empties the key store, partner keys included: keys given to `setup` before "
                    "`activate` are gone afterwards. Give the partner's pair to `activate --partner-pub PEM "
                    "--partner-key PEM`; without the private key ENCRYPTED messages cannot be opened.");
    account->require_subcommand(1);
    // The stores must open; otherwise this says which file and why, instead of a later failure that blames
    // a missing key or registration.
    auto bind = [options, &exitCode](CLI::App* command, int (*run)(const AccountOptions&, Session&)) {
        command->callback([options, &exitCode, run] {
            auto installation = installationFor(*options);
            if (auto opened = installation->opened(); !opened) {
                std::cerr << "vexaqr account: cannot use " << opened.failure().message << '\n';
                exitCode = 1;
                return;
            }
            Session session(*options, std::move(installation));
            exitCode = run(*options, session);
        });
    };

    auto* setupCommand =
        addSubcommand(*account, "setup",
                      "Store the partner's key pair (activation replaces it: see `activate --partner-pub`)", *options);
    setupCommand->add_option("--partner-pub", options->partnerPublicKeyFile, "Partner public key (PEM file)")
        ->required();
    setupCommand->add_option("--partner-key", options->partnerPrivateKeyFile, "Partner private key (PEM file)")
        ->required();
    bind(setupCommand, setup);

    auto* registerCommand = addSubcommand(*account, "register", "Register a new installation", *options);
    registerCommand->add_option("--email", options->email, "The user's e-mail address")->required();
    registerCommand->add_option("--partner-id", options->partnerId, "The partner's id")->required();
    registerCommand->add_flag("--force", options->force, "Replace the user's other registrations");
    addActivationOptions(*registerCommand, *options, false);
    bind(registerCommand, registerAccount);

    auto* activateCommand = addSubcommand(*account, "activate", "Activate the registered installation", *options);
    activateCommand->add_option("--partner-id", options->partnerId, "The partner's id")->required();
    addActivationOptions(*activateCommand, *options, true);
    activateCommand->add_option("--partner-pub", options->partnerPublicKeyFile, "Partner public key (PEM file)");
    activateCommand->add_option("--partner-key", options->partnerPrivateKeyFile, "Partner private key (PEM file)");
    bind(activateCommand, activate);

    auto* messagesCommand =
        addSubcommand(*account, "messages", "Fetch, verify, decrypt and cache the messages", *options);
    messagesCommand->add_flag("--json", options->json, "One JSON object with the result code and the messages");
    messagesCommand->add_flag("--show-secrets", options->showSecrets, "Also print each record's AES content key");
    messagesCommand->add_option("--content-dir", options->contentDirectory, "Write each message's content here");
    bind(messagesCommand, messages);

    auto* deleteCommand = addSubcommand(*account, "delete", "Delete one message on the backend", *options);
    deleteCommand->add_option("--message-id", options->messageId, "The message's id")->required();
    bind(deleteCommand, deleteMessage);

    bind(addSubcommand(*account, "delete-all", "Delete every message on the backend", *options), deleteAll);
    bind(addSubcommand(*account, "logout", "Forget the keys, the settings and the cached messages", *options), logout);

    auto* statusCommand = addSubcommand(*account, "status", "Show the stored registration", *options);
    statusCommand->add_flag("--json", options->json, "One JSON object");
    bind(statusCommand, status);
});

} // namespace
