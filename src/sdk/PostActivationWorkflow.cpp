#include <vexaqr/sdk/PostActivationWorkflow.hpp>

#include <vexaqr/service/ResultCode.hpp>

namespace vexaqr {

using Constant::Application::ResultCode;

PostActivationWorkflow::PostActivationWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                               std::shared_ptr<KeyHandlingWorkflowProtocol> keyHandlingWorkflow,
                                               WebServiceEnvironment environment, NotificationHubFactory hubFactory)
    : _appDataService(std::move(appDataService)), _keyHandlingWorkflow(std::move(keyHandlingWorkflow)),
      _environment(std::move(environment)), _hubFactory(std::move(hubFactory)) {}

void PostActivationWorkflow::postActivationProcess(const Activation::ViewModel& viewModel,
                                                   WorkflowCompletion completion) {
    _keyHandlingWorkflow->clientRsaKeyHandlingProcess(
        viewModel.rsaKeySize,
        [weakSelf = weak_from_this(), viewModel, completion](ResultCode code, std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            // Keys that the backend already holds for this installation do not stop the activation.
            if (code != ResultCode::successfulOperation && code != ResultCode::appAlreadyActivated)
                return completion(code, error);
            self->partnerKeyStep(viewModel, completion);
        });
}

void PostActivationWorkflow::partnerKeyStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    _keyHandlingWorkflow->partnerKeyHandlingProcess(
        viewModel, [weakSelf = weak_from_this(), viewModel, completion](ResultCode code, std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (code != ResultCode::successfulOperation)
                return completion(code, error);
            self->notificationStep(viewModel, completion);
        });
}

void PostActivationWorkflow::notificationStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    notificationWorkflow()->notificationHandlingProcess(
        viewModel, [weakSelf = weak_from_this(), viewModel, completion](ResultCode code, std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (code != ResultCode::successfulOperation)
                return completion(code, error);
            self->hubStep(viewModel, completion);
        });
}

void PostActivationWorkflow::hubStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    notificationWorkflow()->updateHubData(
        viewModel, [weakSelf = weak_from_this(), completion](ResultCode code, std::optional<Error> error) {
            if (weakSelf.lock())
                completion(code, error);
        });
}

std::shared_ptr<NotificationWorkflowProtocol> PostActivationWorkflow::notificationWorkflow() {
    if (!_notificationWorkflow)
        _notificationWorkflow = std::make_shared<NotificationWorkflow>(_appDataService, _environment, _hubFactory);
    return _notificationWorkflow;
}

void PostActivationWorkflow::setNotificationWorkflow(std::shared_ptr<NotificationWorkflowProtocol> workflow) {
    _notificationWorkflow = std::move(workflow);
}

} // namespace vexaqr
