#include "account/sdk/PostActivationWorkflow.hpp"

#include "account/service/ResultCode.hpp"

namespace vexaqr {

using Constant::Application::ResultCode;

PostActivationWorkflow::PostActivationWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                               std::shared_ptr<KeyHandlingWorkflowProtocol> keyHandlingWorkflow,
                                               WebServiceEnvironment environment, NotificationHubFactory hubFactory)
    : _appDataService(std::move(appDataService)), _keyHandlingWorkflow(std::move(keyHandlingWorkflow)),
      _environment(std::move(environment)), _hubFactory(std::move(hubFactory)) {}

void PostActivationWorkflow::postActivationProcess(const Activation::ViewModel& viewModel,
                                                   WorkflowCompletion completion) {
    auto next = continuingWith(&PostActivationWorkflow::partnerKeyStep, viewModel, std::move(completion));
    _keyHandlingWorkflow->clientRsaKeyHandlingProcess(
        viewModel.rsaKeySize, [next](ResultCode code, std::optional<Error> error) {
            // Keys that the backend already holds for this installation do not stop the activation.
            next(code == ResultCode::appAlreadyActivated ? ResultCode::successfulOperation : code, std::move(error));
        });
}

void PostActivationWorkflow::partnerKeyStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    _keyHandlingWorkflow->partnerKeyHandlingProcess(
        viewModel, continuingWith(&PostActivationWorkflow::notificationStep, viewModel, std::move(completion)));
}

void PostActivationWorkflow::notificationStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    notificationWorkflow()->notificationHandlingProcess(
        viewModel, continuingWith(&PostActivationWorkflow::hubStep, viewModel, std::move(completion)));
}

void PostActivationWorkflow::hubStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion) {
    notificationWorkflow()->updateHubData(
        viewModel, [weakSelf = weak_from_this(), completion](ResultCode code, std::optional<Error> error) {
            if (weakSelf.lock())
                completion(code, error);
        });
}

WorkflowCompletion PostActivationWorkflow::continuingWith(Step next, const Activation::ViewModel& viewModel,
                                                          WorkflowCompletion completion) {
    return [weakSelf = weak_from_this(), next, viewModel, completion](ResultCode code, std::optional<Error> error) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (code != ResultCode::successfulOperation)
            return completion(code, error);
        (self.get()->*next)(viewModel, completion);
    };
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
