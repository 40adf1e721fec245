#include <vexaqr/sdk/VexaQrSDK.hpp>

#include "account/sdk/AppDataService.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/sdk/KeyHandlingWorkflow.hpp"
#include "account/sdk/PostActivationWorkflow.hpp"
#include "account/sdk/VexaQrMessageWorkflow.hpp"
#include "account/service/Activation.hpp"
#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/Registration.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/UrlProvider.hpp"
#include "account/service/WebService.hpp"
#include "codec/platform/LogManager.hpp"

namespace vexaqr {

namespace {

using Constant::Application::ResultCode;

constexpr std::int64_t kSuccess = Constant::Application::rawValue(ResultCode::successfulOperation);

template <class T> std::shared_ptr<T> unowned(T& object) {
    return std::shared_ptr<T>(std::shared_ptr<T>{}, &object);
}

// Hub clients that keep their registrations in the installation's user defaults.
NotificationHubFactory hubClientsOf(const VexaQrSDK::Environment& environment) {
    return [httpClient = environment.httpClient, mainQueue = environment.mainQueue,
            userDefaults = environment.installation->userDefaults()](const std::string& connectionString,
                                                                     const std::string& notificationHubPath) {
        return NotificationHub::initWithConnectionString(connectionString, notificationHubPath,
                                                         {httpClient, mainQueue, userDefaults, {}});
    };
}

VexaQrSDK::Environment withDefaults(VexaQrSDK::Environment environment) {
    if (!environment.urlProvider)
        environment.urlProvider = unowned(UrlProvider::standard());
    if (!environment.httpClient)
        environment.httpClient = HttpClient::shared();
    if (!environment.mainQueue)
        environment.mainQueue = MainQueue::shared();
    if (!environment.installation)
        environment.installation = Installation::standard();
    if (!environment.hubFactory)
        environment.hubFactory = hubClientsOf(environment);
    return environment;
}

// Work the backend did that the data directory did not keep is a failure, never a success.
void reportNotStored(const VexaQrSDK::ResultCompletion& completion, const std::string& what) {
    auto error = Constant::Application::makeSdkError(ResultCode::sdkTechnicalError);
    error.message = what + " could not be stored in the data directory (is another program writing to it?)";
    completion(error.code, error);
}

} // namespace

VexaQrSDK& VexaQrSDK::shared() {
    static auto* instance = new VexaQrSDK; // never destroyed
    return *instance;
}

VexaQrSDK::VexaQrSDK(Environment environment) : _environment(withDefaults(std::move(environment))) {}

VexaQrSDK::~VexaQrSDK() = default;

WebServiceEnvironment VexaQrSDK::serviceEnvironment() const {
    WebServiceEnvironment environment;
    environment.httpClient = _environment.httpClient;
    environment.mainQueue = _environment.mainQueue;
    environment.urlProvider = _environment.urlProvider;
    return environment;
}

void VexaQrSDK::setup(const std::optional<Url>& url, const std::optional<std::string>& partnerPublicKey,
                      const std::optional<std::string>& partnerPrivateKey) {
    if (url)
        _environment.urlProvider->setApiBaseUrl(*url);
    if (!partnerPublicKey || !partnerPrivateKey) // half a pair is not stored at all
        return;
    keyHandlingWorkflow()->savePartnerPrivateKey(*partnerPrivateKey);
    keyHandlingWorkflow()->savePartnerPublicKey(*partnerPublicKey);
}

void VexaQrSDK::enableLogging() {
    LogManager::standard().enabled = true;
}

void VexaQrSDK::registerAccount(const Registration::ViewModel& viewModel, ResultCompletion completion) {
    // A new id even for a failed attempt: the backend must never see one installation twice.
    auto appUniqueId = appDataService()->createNewAppUniqueId();
    if (!appUniqueId) // nothing is sent: the backend would keep an installation this device forgot
        return reportNotStored(completion, "a new installation id");
    Registration::RequestModel request;
    request.emailAddress = viewModel.email;
    request.partnerId = viewModel.partnerId;
    request.isForceRegistration = viewModel.isForceRegistration;
    if (viewModel.activationData)
        request.activationCode = viewModel.activationData->activationCode;
    request.appUniqueId = appUniqueId->uuidString();
    registrationService()->registerAccount(
        request, [this, alive = std::weak_ptr<bool>(_alive), viewModel,
                  completion](std::optional<Registration::ResponseModel> response, std::optional<Error> error) {
            if (alive.expired())
                return completion(std::nullopt, std::nullopt);
            onRegistration(viewModel, response, error, completion);
        });
}

void VexaQrSDK::onRegistration(const Registration::ViewModel& viewModel,
                               const std::optional<Registration::ResponseModel>& response,
                               const std::optional<Error>& error, ResultCompletion completion) {
    if (!response || response->resultCode != kSuccess) {
        appDataService()->save(VexaQrSDKRegistrationState::initial);
        return completion(response ? std::optional(response->resultCode) : std::nullopt, error);
    }
    if (!appDataService()->trySave(viewModel.email) || !saveUserId(response->vxaUserId))
        return reportNotStored(completion, "the registration");
    if (!viewModel.activationData) {
        if (!appDataService()->trySave(VexaQrSDKRegistrationState::pending))
            return reportNotStored(completion, "the registration state");
        return completion(response->resultCode, error);
    }
    runPostActivation(*viewModel.activationData, std::move(completion));
}

void VexaQrSDK::activateAccount(const Activation::ViewModel& viewModel, ResultCompletion completion) {
    auto appUniqueId = appDataService()->getAppUniqueId();
    if (!appUniqueId)
        return completion(std::nullopt, std::nullopt);
    activationService()->activateAccount(
        {viewModel.activationCode, appUniqueId->uuidString()},
        [this, alive = std::weak_ptr<bool>(_alive), viewModel,
         completion](std::optional<Activation::ResponseModel> response, std::optional<Error> error) {
            if (alive.expired())
                return completion(std::nullopt, std::nullopt);
            onActivation(viewModel, response, error, completion);
        });
}

void VexaQrSDK::onActivation(const Activation::ViewModel& viewModel,
                             const std::optional<Activation::ResponseModel>& response,
                             const std::optional<Error>& error, ResultCompletion completion) {
    if (!response || response->resultCode != kSuccess)
        return completion(response ? std::optional(response->resultCode) : std::nullopt, error);
    if (!saveUserId(response->vxaUserId))
        return reportNotStored(completion, "the user id");
    runPostActivation(viewModel, std::move(completion));
}

bool VexaQrSDK::saveUserId(const std::optional<std::int64_t>& vxaUserId) {
    return !vxaUserId || appDataService()->trySave(*vxaUserId);
}

void VexaQrSDK::runPostActivation(const Activation::ViewModel& viewModel, ResultCompletion completion) {
    postActivationWorkflow()->postActivationProcess(viewModel, [this, alive = std::weak_ptr<bool>(_alive), completion](
                                                                   ResultCode code, std::optional<Error> error) {
        if (alive.expired())
            return completion(std::nullopt, std::nullopt);
        if (code == ResultCode::successfulOperation && !appDataService()->trySave(VexaQrSDKRegistrationState::active))
            return reportNotStored(completion, "the registration state");
        completion(rawValue(code), error);
    });
}

void VexaQrSDK::getVexaQrMessages(const VexaQrMessageIdList::ViewModel& viewModel,
                                  VexaQrMessagesCompletion completion) {
    vexaQrMessageWorkflow()->getVexaQrMessageList(viewModel, std::move(completion));
}

void VexaQrSDK::visitVexaQrMessages(const VexaQrMessageIdList::ViewModel& viewModel, VexaQrMessageVisitor each,
                                    VexaQrMessagesEnd end) {
    vexaQrMessageWorkflow()->visitVexaQrMessageList(viewModel, std::move(each), std::move(end));
}

void VexaQrSDK::deleteVexaQrMessage(const DeleteVexaQrMessage::ViewModel& viewModel,
                                    DeleteVexaQrMessageServiceProtocol::Completion completion) {
    auto appUniqueId = appDataService()->getAppUniqueId();
    if (!appUniqueId)
        return completion(std::nullopt, std::nullopt);
    deleteVexaQrMessageService()->deleteVexaQrMessage({appUniqueId->uuidString(), viewModel.vxaMessageId},
                                                      std::move(completion));
}

void VexaQrSDK::deleteAllVexaQrMessage(const DeleteAllVexaQrMessage::ViewModel& /*viewModel*/,
                                       DeleteAllVexaQrMessageServiceProtocol::Completion completion) {
    auto appUniqueId = appDataService()->getAppUniqueId();
    if (!appUniqueId)
        return completion(std::nullopt, std::nullopt);
    deleteAllVexaQrMessageService()->deleteAllVexaQrMessage({appUniqueId->uuidString()}, std::move(completion));
}

void VexaQrSDK::logout() {
    appDataService()->resetRegistration();
}

std::optional<std::int64_t> VexaQrSDK::getVexaQrUserId() {
    return appDataService()->getVexaQrUserId();
}

std::optional<std::string> VexaQrSDK::getUserEmail() {
    return appDataService()->getUserEmail();
}

VexaQrSDKRegistrationState VexaQrSDK::getRegistrationState() {
    return appDataService()->getRegistrationState();
}

std::shared_ptr<AppDataServiceProtocol> VexaQrSDK::appDataService() {
    if (!_appDataService)
        _appDataService = _environment.installation->appData();
    return _appDataService;
}

void VexaQrSDK::setAppDataService(std::shared_ptr<AppDataServiceProtocol> service) {
    _appDataService = std::move(service);
}

std::shared_ptr<KeyHandlingWorkflowProtocol> VexaQrSDK::keyHandlingWorkflow() {
    if (!_keyHandlingWorkflow)
        _keyHandlingWorkflow = std::make_shared<KeyHandlingWorkflow>(
            appDataService(), _environment.installation->keyStore(), serviceEnvironment());
    return _keyHandlingWorkflow;
}

void VexaQrSDK::setKeyHandlingWorkflow(std::shared_ptr<KeyHandlingWorkflowProtocol> workflow) {
    _keyHandlingWorkflow = std::move(workflow);
}

std::shared_ptr<RegistrationServiceProtocol> VexaQrSDK::registrationService() {
    if (!_registrationService)
        _registrationService = std::make_shared<RegistrationService>(serviceEnvironment());
    return _registrationService;
}

void VexaQrSDK::setRegistrationService(std::shared_ptr<RegistrationServiceProtocol> service) {
    _registrationService = std::move(service);
}

std::shared_ptr<ActivationServiceProtocol> VexaQrSDK::activationService() {
    if (!_activationService)
        _activationService = std::make_shared<ActivationService>(serviceEnvironment());
    return _activationService;
}

void VexaQrSDK::setActivationService(std::shared_ptr<ActivationServiceProtocol> service) {
    _activationService = std::move(service);
}

std::shared_ptr<VexaQrMessageWorkflowProtocol> VexaQrSDK::vexaQrMessageWorkflow() {
    if (!_vexaQrMessageWorkflow)
        _vexaQrMessageWorkflow = std::make_shared<VexaQrMessageWorkflow>(
            appDataService(), _environment.installation->database(), serviceEnvironment());
    return _vexaQrMessageWorkflow;
}

void VexaQrSDK::setVexaQrMessageWorkflow(std::shared_ptr<VexaQrMessageWorkflowProtocol> workflow) {
    _vexaQrMessageWorkflow = std::move(workflow);
}

std::shared_ptr<PostActivationWorkflowProtocol> VexaQrSDK::postActivationWorkflow() {
    if (!_postActivationWorkflow)
        _postActivationWorkflow = std::make_shared<PostActivationWorkflow>(
            appDataService(), keyHandlingWorkflow(), serviceEnvironment(), _environment.hubFactory);
    return _postActivationWorkflow;
}

void VexaQrSDK::setPostActivationWorkflow(std::shared_ptr<PostActivationWorkflowProtocol> workflow) {
    _postActivationWorkflow = std::move(workflow);
}

std::shared_ptr<DeleteVexaQrMessageServiceProtocol> VexaQrSDK::deleteVexaQrMessageService() {
    if (!_deleteVexaQrMessageService)
        _deleteVexaQrMessageService = std::make_shared<DeleteVexaQrMessageService>(serviceEnvironment());
    return _deleteVexaQrMessageService;
}

void VexaQrSDK::setDeleteVexaQrMessageService(std::shared_ptr<DeleteVexaQrMessageServiceProtocol> service) {
    _deleteVexaQrMessageService = std::move(service);
}

std::shared_ptr<DeleteAllVexaQrMessageServiceProtocol> VexaQrSDK::deleteAllVexaQrMessageService() {
    if (!_deleteAllVexaQrMessageService)
        _deleteAllVexaQrMessageService = std::make_shared<DeleteAllVexaQrMessageService>(serviceEnvironment());
    return _deleteAllVexaQrMessageService;
}

void VexaQrSDK::setDeleteAllVexaQrMessageService(std::shared_ptr<DeleteAllVexaQrMessageServiceProtocol> service) {
    _deleteAllVexaQrMessageService = std::move(service);
}

} // namespace vexaqr
