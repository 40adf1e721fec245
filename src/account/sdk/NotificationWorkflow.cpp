#include "account/sdk/NotificationWorkflow.hpp"

#include "account/sdk/AppDataService.hpp"
#include "account/service/ResultCode.hpp"

namespace vexaqr {

namespace {

using Constant::Application::makeSdkError;
using Constant::Application::ResultCode;

NotificationHubFactory defaultHubFactory(const WebServiceEnvironment& environment) {
    return [httpClient = environment.httpClient, mainQueue = environment.mainQueue](
               const std::string& connectionString, const std::string& notificationHubPath) {
        return NotificationHub::initWithConnectionString(connectionString, notificationHubPath,
                                                         {httpClient, mainQueue, nullptr, {}});
    };
}

template <class Response> ResultCode codeOf(const std::optional<Response>& response) {
    return response ? response->result() : ResultCode::unknownResultCode;
}

} // namespace

NotificationWorkflow::NotificationWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                           WebServiceEnvironment environment, NotificationHubFactory hubFactory)
    : _appDataService(std::move(appDataService)), _environment(std::move(environment)),
      _hubFactory(hubFactory ? std::move(hubFactory) : defaultHubFactory(_environment)) {}

std::string NotificationWorkflow::deviceTokenHandle(const Bytes& deviceToken) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string handle;
    handle.reserve(deviceToken.size() * 2);
    for (std::uint8_t byte : deviceToken) {
        handle += kDigits[byte >> 4];
        handle += kDigits[byte & 0x0F];
    }
    return handle;
}

void NotificationWorkflow::notificationHandlingProcess(const Activation::ViewModel& viewModel,
                                                       WorkflowCompletion completion) {
    getNotificationIdService()->getNotificationId(
        {viewModel.partnerId, deviceTokenHandle(viewModel.deviceToken)},
        [weakSelf = weak_from_this(), viewModel, completion](std::optional<GetNotificationId::ResponseModel> response,
                                                             std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (!response || response->resultCode != rawValue(ResultCode::successfulOperation) ||
                !response->notificationId) // a success without an id has nothing to register
                return completion(codeOf(response), error);
            self->registerPushNotification(viewModel, *response->notificationId, completion);
        });
}

void NotificationWorkflow::registerPushNotification(const Activation::ViewModel& viewModel,
                                                    const std::string& notificationId, WorkflowCompletion completion) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId) // nothing can be registered: fail now rather than never answer
        return completion(ResultCode::unknownResultCode, makeSdkError(ResultCode::unknownResultCode));
    RegisterPushNotification::RequestModel request;
    request.partnerId = viewModel.partnerId;
    request.appUniqueId = appUniqueId->uuidString();
    request.notificationId = notificationId;
    request.handle = deviceTokenHandle(viewModel.deviceToken);
    registerPushNotificationService()->registerPushNotification(
        request, [weakSelf = weak_from_this(), completion](
                     std::optional<RegisterPushNotification::ResponseModel> response, std::optional<Error> error) {
            if (weakSelf.lock())
                completion(codeOf(response), error);
        });
}

void NotificationWorkflow::updateHubData(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    auto hub = _hubFactory(viewModel.notificationHubConnectionString, viewModel.notificationHubName);
    if (!hub)
        return completion(ResultCode::hubSetupError, makeSdkError(ResultCode::hubSetupError));
    // The hub answers on its HTTP thread; the chain and the state it stores belong on the main queue.
    hub->registerNativeWithDeviceToken(
        viewModel.deviceToken, {},
        [weakSelf = weak_from_this(), mainQueue = _environment.mainQueue, completion](std::optional<Error> error) {
            mainQueue->post([weakSelf, completion, error] {
                if (!weakSelf.lock())
                    return;
                if (error)
                    return completion(ResultCode::hubSetupError, error);
                completion(ResultCode::successfulOperation, std::nullopt);
            });
        });
}

std::shared_ptr<GetNotificationIdServiceProtocol> NotificationWorkflow::getNotificationIdService() {
    if (!_getNotificationIdService)
        _getNotificationIdService = std::make_shared<GetNotificationIdService>(_environment);
    return _getNotificationIdService;
}

void NotificationWorkflow::setGetNotificationIdService(std::shared_ptr<GetNotificationIdServiceProtocol> service) {
    _getNotificationIdService = std::move(service);
}

std::shared_ptr<RegisterPushNotificationServiceProtocol> NotificationWorkflow::registerPushNotificationService() {
    if (!_registerPushNotificationService)
        _registerPushNotificationService = std::make_shared<RegisterPushNotificationService>(_environment);
    return _registerPushNotificationService;
}

void NotificationWorkflow::setRegisterPushNotificationService(
    std::shared_ptr<RegisterPushNotificationServiceProtocol> service) {
    _registerPushNotificationService = std::move(service);
}

} // namespace vexaqr
