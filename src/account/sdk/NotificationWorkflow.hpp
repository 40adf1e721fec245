// NotificationWorkflow: the two push steps of an activation: the backend's notification id and push
// registration for the device token, and the device's native registration at the push hub.
//
// Backend answers arrive on the main queue of the workflow's service environment; the hub's answer is
// brought onto that queue too, so every completion runs there (or on the calling thread when a step
// fails before anything is sent). Owned through a std::shared_ptr: answers that arrive after the
// workflow has gone are dropped. Use from the main thread.
#pragma once

#include "account/sdk/KeyHandlingWorkflow.hpp"
#include "account/service/Activation.hpp"
#include "account/service/GetNotificationId.hpp"
#include "account/service/RegisterPushNotification.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/hub/NotificationHub.hpp>

#include <functional>
#include <memory>
#include <string>

namespace vexaqr {

class AppDataServiceProtocol;

class NotificationWorkflowProtocol {
public:
    virtual ~NotificationWorkflowProtocol() = default;

    /// Asks the backend for a notification id for the device token and registers the push handle
    /// with it. Completes exactly once.
    virtual void notificationHandlingProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) = 0;

    /// Registers the raw device token natively, without tags, at the hub the view model names;
    /// `hubSetupError` with the hub's error on failure. Completes exactly once.
    virtual void updateHubData(const Activation::ViewModel& viewModel, WorkflowCompletion completion) = 0;
};

class NotificationWorkflow final : public NotificationWorkflowProtocol,
                                   public std::enable_shared_from_this<NotificationWorkflow> {
public:
    /// Keeps `appDataService` (the installation id); services are made on first use with
    /// `environment`, hub clients with `hubFactory` (by default over the environment's HTTP client).
    explicit NotificationWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                  WebServiceEnvironment environment = {}, NotificationHubFactory hubFactory = {});

    void notificationHandlingProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) override;
    void updateHubData(const Activation::ViewModel& viewModel, WorkflowCompletion completion) override;

    /// The push token bytes as lower-case hexadecimal, two digits per byte ("0aff" for 0x0A 0xFF).
    static std::string deviceTokenHandle(const Bytes& deviceToken);

    /// The notification-id service, created on first use; replaceable.
    std::shared_ptr<GetNotificationIdServiceProtocol> getNotificationIdService();
    void setGetNotificationIdService(std::shared_ptr<GetNotificationIdServiceProtocol> service);

    /// The push-registration service, created on first use; replaceable.
    std::shared_ptr<RegisterPushNotificationServiceProtocol> registerPushNotificationService();
    void setRegisterPushNotificationService(std::shared_ptr<RegisterPushNotificationServiceProtocol> service);

private:
    void registerPushNotification(const Activation::ViewModel& viewModel, const std::string& notificationId,
                                  WorkflowCompletion completion);

    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    WebServiceEnvironment _environment;
    NotificationHubFactory _hubFactory;
    std::shared_ptr<GetNotificationIdServiceProtocol> _getNotificationIdService;
    std::shared_ptr<RegisterPushNotificationServiceProtocol> _registerPushNotificationService;
};

} // namespace vexaqr
