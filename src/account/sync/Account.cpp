#include <vexaqr/sync/Account.hpp>

#include "account/platform/CurlHttpClient.hpp"
#include "account/sdk/AppDataService.hpp"
#include "account/sdk/PersistencyManager.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/UrlProvider.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>

namespace vexaqr {

namespace {

using Constant::Application::ResultCode;

Failure failure(FailureReason reason, std::string message) {
    return Failure{reason, std::move(message), std::nullopt, std::nullopt};
}

Failure notRegistered(std::string_view call) {
    return failure(FailureReason::notRegistered,
                   std::string(call) + " needs a registered installation, and this data directory holds none: "
                                       "register first (registerAccount)");
}

} // namespace

Failure backendFailure(const Error& error, const std::string& baseUrl) {
    const std::string from = " from " + baseUrl;
    if (error.domain == Constant::Application::errorDomain) {
        auto known = Constant::Application::resultCodeFromRawValue(error.code);
        auto refused = failure(FailureReason::backendRefused,
                               "result " + std::to_string(error.code) +
                                   (known ? " (" + std::string(Constant::Application::description(*known)) + ")" : "") +
                                   (error.message.empty() ? "" : ": " + error.message));
        refused.resultCode = error.code;
        return refused;
    }
    if (error.domain.starts_with("Status code: Optional("))
        return failure(FailureReason::backendUnreachable,
                       "HTTP " + std::to_string(error.code) + from + ": is the base address right?");
    if (error.domain.starts_with("Status code: "))
        return failure(FailureReason::backendUnreachable, "a reply that is not HTTP" + from);
    if (error.domain == kMissingDataErrorDomain || error.domain == kJsonParsingErrorDomain)
        return failure(FailureReason::backendUnreachable,
                       "an unreadable reply" + from + " (" + error.domain + "): is it the backend?");
    return failure(FailureReason::backendUnreachable,
                   baseUrl + " cannot be reached: " + (error.message.empty() ? error.domain : error.message));
}

namespace {

// The outcome of a call that reports a result code and an error.
Outcome<void> resultOf(std::optional<std::int64_t> code, const std::optional<Error>& error, const std::string& baseUrl,
                       std::string_view call) {
    if (code && *code == rawValue(ResultCode::successfulOperation))
        return {};
    // An exchange that failed says more than the "unknown" code reported beside it.
    if (error && (error->domain != Constant::Application::errorDomain || !code ||
                  *code == rawValue(ResultCode::unknownResultCode)))
        return backendFailure(*error, baseUrl);
    if (code) {
        auto known = Constant::Application::resultCodeFromRawValue(*code);
        auto refused = failure(FailureReason::backendRefused,
                               std::string(call) + " failed with result " + std::to_string(*code) +
                                   (known ? " (" + std::string(Constant::Application::description(*known)) + ")" : ""));
        refused.resultCode = *code;
        return refused;
    }
    return notRegistered(call);
}

} // namespace

std::string_view name(VexaQrSDKRegistrationState state) {
    switch (state) {
    case VexaQrSDKRegistrationState::pending:
        return "pending";
    case VexaQrSDKRegistrationState::active:
        return "active";
    case VexaQrSDKRegistrationState::initial:
        break;
    }
    return "initial";
}

// One facade over its own main queue, HTTP client and installation, and the wait for each answer.
class Account::Session {
public:
    explicit Session(AccountOptions options)
        : _options(std::move(options)), _loop(std::make_shared<RunLoop>()),
          _installation(_options.dataDirectory.empty() ? Installation::standard()
                                                       : Installation::inDirectory(_options.dataDirectory)) {
        if (_options.baseUrl.empty())
            _options.baseUrl = std::string(UrlProvider::kDefaultApiBaseUrl);
        _sdk = std::make_unique<VexaQrSDK>(VexaQrSDK::Environment{
            .urlProvider = std::make_shared<UrlProvider>(),
            .httpClient = std::make_shared<CurlHttpClient>(),
            .mainQueue = _loop,
            .installation = _installation,
            .hubFactory = nullptr,
        });
        _url = Url::fromString(_options.baseUrl);
        if (_url)
            _sdk->setup(*_url, std::nullopt, std::nullopt);
        if (_options.logging)
            _sdk->enableLogging();
    }

    const AccountOptions& options() const { return _options; }
    const std::string& baseUrl() const { return _options.baseUrl; }

    /// The facade, or why it cannot be used.
    Outcome<VexaQrSDK*> sdk() {
        if (!_url)
            return failure(FailureReason::invalidOptions, "the base address " + _options.baseUrl + " is not a URL");
        if (auto opened = _installation->opened(); !opened)
            return failure(FailureReason::cannotWrite,
                           "the account's data cannot be used: " + opened.failure().message);
        return _sdk.get();
    }

    /// Runs `call`, handing it a completion, and waits for that completion; the arguments it received, or
    /// a timedOut failure. An answer after the timeout is dropped.
    template <class... Args, class Call> Outcome<std::tuple<Args...>> await(Call&& call) {
        auto answer = std::make_shared<std::optional<std::tuple<Args...>>>();
        call([answer](Args... args) { *answer = std::tuple<Args...>(std::move(args)...); });
        if (!_loop->runUntil([answer] { return answer->has_value(); }, _options.timeout))
            return failure(FailureReason::timedOut, "no answer from " + baseUrl() + " within " +
                                                        std::to_string(_options.timeout.count()) + " ms");
        return std::move(**answer);
    }

    /// Waits for a facade call that reports a result code.
    template <class Call> Outcome<void> awaitResult(std::string_view name, Call&& call) {
        auto answered = await<std::optional<std::int64_t>, std::optional<Error>>(std::forward<Call>(call));
        if (!answered)
            return answered.failure();
        return resultOf(std::get<0>(*answered), std::get<1>(*answered), baseUrl(), name);
    }

    Outcome<AccountState> state() {
        auto sdk = this->sdk();
        if (!sdk)
            return sdk.failure();
        return AccountState{(*sdk)->getRegistrationState(), (*sdk)->getUserEmail(), (*sdk)->getVexaQrUserId(),
                            (*sdk)->appDataService()->getAppUniqueId()};
    }

    /// The facade when an installation is registered.
    Outcome<VexaQrSDK*> registeredSdk(std::string_view call) {
        auto sdk = this->sdk();
        if (sdk && !(*sdk)->appDataService()->getAppUniqueId())
            return notRegistered(call);
        return sdk;
    }

private:
    AccountOptions _options;
    std::shared_ptr<RunLoop> _loop;
    std::shared_ptr<Installation> _installation;
    std::unique_ptr<VexaQrSDK> _sdk;
    std::optional<Url> _url;
};

namespace {

std::optional<Activation::ViewModel> activationViewModel(const ActivationDetails& details, const HubConnection& hub) {
    const auto keySize = Activation::rsaKeySizeFromRawValue(details.keyBits);
    if (!keySize)
        return std::nullopt;
    auto pem = [](const std::string& text) { return text.empty() ? std::nullopt : std::optional<std::string>(text); };
    return Activation::ViewModel{.activationCode = details.activationCode,
                                 .rsaKeySize = *keySize,
                                 .deviceToken = details.deviceToken,
                                 .notificationHubName = hub.name,
                                 .notificationHubConnectionString = hub.connectionString,
                                 .partnerId = details.partnerId,
                                 .partnerPublicKey = pem(details.partnerPublicKeyPem),
                                 .partnerPrivateKey = pem(details.partnerPrivateKeyPem)};
}

// The activation view model, or why the details cannot work.
Outcome<Activation::ViewModel> activationFor(const ActivationDetails& details, const AccountOptions& options) {
    if (!options.hub)
        return failure(FailureReason::invalidOptions,
                       "activation registers the device at a push hub: give AccountOptions::hub its name and "
                       "connection string");
    auto viewModel = activationViewModel(details, *options.hub);
    if (!viewModel)
        return failure(FailureReason::invalidOptions,
                       "the key size " + std::to_string(details.keyBits) + " is not 1024 or 2048 bits");
    return *viewModel;
}

} // namespace

Account::Account(AccountOptions options) : _session(std::make_unique<Session>(std::move(options))) {}

Account::~Account() = default;

Outcome<AccountState> Account::registerAccount(const AccountRegistration& registration) {
    Registration::ViewModel viewModel{registration.email, registration.partnerId, registration.force, std::nullopt};
    if (registration.activation) {
        auto details = *registration.activation;
        if (details.partnerId.empty())
            details.partnerId = registration.partnerId;
        auto activation = activationFor(details, _session->options());
        if (!activation)
            return activation.failure();
        viewModel.activationData = *activation;
    }
    auto sdk = _session->sdk();
    if (!sdk)
        return sdk.failure();
    if (auto registered = _session->awaitResult(
            "registration", [&](auto completion) { (*sdk)->registerAccount(viewModel, std::move(completion)); });
        !registered)
        return registered.failure();
    return _session->state();
}

Outcome<AccountState> Account::activate(const ActivationDetails& details) {
    auto viewModel = activationFor(details, _session->options());
    if (!viewModel)
        return viewModel.failure();
    auto sdk = _session->registeredSdk("activation");
    if (!sdk)
        return sdk.failure();
    if (auto activated = _session->awaitResult(
            "activation", [&](auto completion) { (*sdk)->activateAccount(*viewModel, std::move(completion)); });
        !activated)
        return activated.failure();
    return _session->state();
}

Outcome<AccountMessages> Account::messages() {
    auto sdk = _session->registeredSdk("fetching messages");
    if (!sdk)
        return sdk.failure();
    auto answered = _session->await<std::int64_t, std::optional<std::vector<VxaMessage>>, std::optional<Error>>(
        [&](auto completion) { (*sdk)->getVexaQrMessages({}, std::move(completion)); });
    if (!answered)
        return answered.failure();
    auto& [code, list, error] = *answered;
    auto fetched = resultOf(code, error, _session->baseUrl(), "fetching messages");
    if (!list) {
        if (!fetched)
            return fetched.failure();
        return failure(FailureReason::unreadableRecord,
                       "the messages arrived but cannot be read with the stored keys: activate again");
    }
    // Every message handed out can be read: an id, a verified record and its content.
    std::erase_if(*list, [](const VxaMessage& message) {
        return !message.vxaMessageId || !message.processedVxaData || !message.processedVxaData->actualVxaData;
    });
    return AccountMessages{std::move(*list), fetched ? std::nullopt : std::optional<Failure>(fetched.failure())};
}

Outcome<Done> Account::deleteMessage(const std::string& messageId) {
    auto sdk = _session->registeredSdk("deleting a message");
    if (!sdk)
        return sdk.failure();
    auto answered = _session->await<std::optional<DeleteVexaQrMessage::ResponseModel>, std::optional<Error>>(
        [&](auto completion) { (*sdk)->deleteVexaQrMessage({messageId}, std::move(completion)); });
    if (!answered)
        return answered.failure();
    const auto& [response, error] = *answered;
    if (auto deleted = resultOf(response ? std::optional<std::int64_t>(response->resultCode) : std::nullopt, error,
                                _session->baseUrl(), "deleting message " + messageId);
        !deleted)
        return deleted.failure();
    return Done{};
}

Outcome<Done> Account::deleteMessages() {
    auto sdk = _session->registeredSdk("deleting the messages");
    if (!sdk)
        return sdk.failure();
    auto answered = _session->await<std::optional<DeleteAllVexaQrMessage::ResponseModel>, std::optional<Error>>(
        [&](auto completion) { (*sdk)->deleteAllVexaQrMessage({}, std::move(completion)); });
    if (!answered)
        return answered.failure();
    const auto& [response, error] = *answered;
    if (auto deleted = resultOf(response ? std::optional<std::int64_t>(response->resultCode) : std::nullopt, error,
                                _session->baseUrl(), "deleting the messages");
        !deleted)
        return deleted.failure();
    return Done{};
}

Outcome<AccountState> Account::logout() {
    auto sdk = _session->sdk();
    if (!sdk)
        return sdk.failure();
    (*sdk)->logout();
    auto after = _session->state();
    if (after && after->state != VexaQrSDKRegistrationState::initial)
        return failure(FailureReason::cannotWrite,
                       "the log-out could not be stored: the state is still " + std::string(name(after->state)));
    return after;
}

Outcome<AccountState> Account::state() {
    return _session->state();
}

Outcome<Uuid> Account::appUniqueId() {
    auto current = _session->state();
    if (!current)
        return current.failure();
    if (!current->appUniqueId)
        return notRegistered("the installation id");
    return *current->appUniqueId;
}

} // namespace vexaqr
