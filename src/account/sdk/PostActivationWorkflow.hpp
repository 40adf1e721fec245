// PostActivationWorkflow: what makes an activated account usable, as one chain: the client keys, the
// partner key, the backend push registration and the hub registration. It stops at the first failing
// step and undoes nothing.
//
// Each step starts from the previous step's completion, on the main queue. Owned through a
// std::shared_ptr: answers that arrive after the workflow has gone are dropped. Use from the main thread.
#pragma once

#include "account/sdk/KeyHandlingWorkflow.hpp"
#include "account/sdk/NotificationWorkflow.hpp"
#include "account/service/Activation.hpp"

#include <memory>

namespace vexaqr {

class AppDataServiceProtocol;

class PostActivationWorkflowProtocol {
public:
    virtual ~PostActivationWorkflowProtocol() = default;

    /// Runs the four steps with `viewModel`; the completion receives the code (and error) of the step
    /// that failed, or `successfulOperation`. Completes exactly once.
    virtual void postActivationProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) = 0;
};

class PostActivationWorkflow final : public PostActivationWorkflowProtocol,
                                     public std::enable_shared_from_this<PostActivationWorkflow> {
public:
    /// Keeps both collaborators; the notification workflow is made on first use with
    /// `environment` and `hubFactory`.
    PostActivationWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                           std::shared_ptr<KeyHandlingWorkflowProtocol> keyHandlingWorkflow,
                           WebServiceEnvironment environment = {}, NotificationHubFactory hubFactory = {});

    void postActivationProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) override;

    /// The push steps, created on first use; replaceable.
    std::shared_ptr<NotificationWorkflowProtocol> notificationWorkflow();
    void setNotificationWorkflow(std::shared_ptr<NotificationWorkflowProtocol> workflow);

private:
    using Step = void (PostActivationWorkflow::*)(const Activation::ViewModel&, WorkflowCompletion);

    // A step's completion: a success goes on with `next` while the workflow lives, a failure finishes the chain.
    WorkflowCompletion continuingWith(Step next, const Activation::ViewModel& viewModel, WorkflowCompletion completion);

    void partnerKeyStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion);
    void notificationStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion);
    void hubStep(const Activation::ViewModel& viewModel, WorkflowCompletion completion);

    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    std::shared_ptr<KeyHandlingWorkflowProtocol> _keyHandlingWorkflow;
    WebServiceEnvironment _environment;
    NotificationHubFactory _hubFactory;
    std::shared_ptr<NotificationWorkflowProtocol> _notificationWorkflow;
};

} // namespace vexaqr
