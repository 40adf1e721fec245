// VexaQrSDK: the host application's entry point to the backend account: set-up, registration and
// activation, the installation's messages, log-out, and the registration state kept on the device.
//
// It sequences the services and workflows it holds and keeps no business logic of its own. Every
// collaborator is made on first use and may be replaced before. Use from the main thread: completions
// that follow a backend answer run on the main queue, those reported at once (no installation id) on
// the calling thread before the call returns. Nothing is locked.
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/platform/HttpClient.hpp>
#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/platform/Url.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sdk/VexaQrSDKRegistrationState.hpp>
#include <vexaqr/sdk/VxaMessage.hpp>
#include <vexaqr/service/AccountTypes.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vexaqr {

// The collaborators are named only: a host that replaces one includes its header itself.
class ActivationServiceProtocol;
class AppDataServiceProtocol;
class DatabaseWrapper;
class DeleteAllVexaQrMessageServiceProtocol;
class DeleteVexaQrMessageServiceProtocol;
class KeyHandlingWorkflowProtocol;
class PostActivationWorkflowProtocol;
class RegistrationServiceProtocol;
class UrlProvider;
class VexaQrMessageWorkflowProtocol;
struct WebServiceEnvironment;

class VexaQrSDK final {
public:
    /// A result code (a ResultCode's raw value or the backend's own) and an error; both empty for an
    /// empty report.
    using ResultCompletion = std::function<void(std::optional<std::int64_t>, std::optional<Error>)>;

    /// What the facade and the collaborators it makes talk through; an empty member gets the
    /// process-wide default (UrlProvider::standard(), HttpClient::shared(), MainQueue::shared(),
    /// Installation::standard(), hub clients over the HTTP client and the installation's user defaults).
    /// `installation` holds the keys, the settings, the message cache and the hub's user defaults.
    struct Environment {
        std::shared_ptr<UrlProvider> urlProvider;
        std::shared_ptr<HttpClient> httpClient;
        std::shared_ptr<MainQueue> mainQueue;
        std::shared_ptr<Installation> installation;
        NotificationHubFactory hubFactory;
    };

    /// The process-wide facade over the process-wide defaults; created on first use, never destroyed.
    static VexaQrSDK& shared();

    explicit VexaQrSDK(Environment environment = {});
    ~VexaQrSDK();
    VexaQrSDK(const VexaQrSDK&) = delete;
    VexaQrSDK& operator=(const VexaQrSDK&) = delete;

    /// A present `url` becomes the backend base address. Only when both PEM texts are present, the
    /// partner's private and then public key are stored (failures are not reported).
    void setup(const std::optional<Url>& url, const std::optional<std::string>& partnerPublicKey,
               const std::optional<std::string>& partnerPrivateKey);

    /// Switches the debug printer on for the rest of the process.
    void enableLogging();

    /// Registers under a new installation id (stored before anything is sent); with activation data
    /// it also runs the post-activation chain. Reports the backend's code or the chain's; a registration
    /// the data directory did not keep (id, user data, state) reports sdkTechnicalError with an error.
    void registerAccount(const Registration::ViewModel& viewModel, ResultCompletion completion);

    /// Activates the stored installation and runs the post-activation chain; an empty report at once
    /// when no installation id is stored, sdkTechnicalError with an error when the outcome was not stored.
    void activateAccount(const Activation::ViewModel& viewModel, ResultCompletion completion);

    /// The installation's messages (see VexaQrMessageWorkflow).
    void getVexaQrMessages(const VexaQrMessageIdList::ViewModel& viewModel, VexaQrMessagesCompletion completion);
    /// The same messages handed over one at a time, then the end (see VexaQrMessageWorkflow): for many or
    /// large messages, as memory does not grow with their number.
    void visitVexaQrMessages(const VexaQrMessageIdList::ViewModel& viewModel, VexaQrMessageVisitor each,
                             VexaQrMessagesEnd end);

    /// Deletes one message on the backend; the local cache is left as it is. An empty report at once
    /// when no installation id is stored.
    void deleteVexaQrMessage(const DeleteVexaQrMessage::ViewModel& viewModel,
                             ServiceCompletion<DeleteVexaQrMessage::ResponseModel> completion);

    /// Deletes every message on the backend; as deleteVexaQrMessage otherwise.
    void deleteAllVexaQrMessage(const DeleteAllVexaQrMessage::ViewModel& viewModel,
                                ServiceCompletion<DeleteAllVexaQrMessage::ResponseModel> completion);

    /// Forgets the keys, the settings and the message cache and stores the state `initial`; nothing
    /// is sent to the backend.
    void logout();

    std::optional<std::int64_t> getVexaQrUserId();
    std::optional<std::string> getUserEmail();
    VexaQrSDKRegistrationState getRegistrationState();

    /// The collaborators: each getter makes the default on first use; a setter replaces it (set a
    /// replacement before the first use of the ones that are made from it).
    std::shared_ptr<AppDataServiceProtocol> appDataService();
    void setAppDataService(std::shared_ptr<AppDataServiceProtocol> service);
    std::shared_ptr<KeyHandlingWorkflowProtocol> keyHandlingWorkflow();
    void setKeyHandlingWorkflow(std::shared_ptr<KeyHandlingWorkflowProtocol> workflow);
    std::shared_ptr<RegistrationServiceProtocol> registrationService();
    void setRegistrationService(std::shared_ptr<RegistrationServiceProtocol> service);
    std::shared_ptr<ActivationServiceProtocol> activationService();
    void setActivationService(std::shared_ptr<ActivationServiceProtocol> service);
    std::shared_ptr<VexaQrMessageWorkflowProtocol> vexaQrMessageWorkflow();
    void setVexaQrMessageWorkflow(std::shared_ptr<VexaQrMessageWorkflowProtocol> workflow);
    std::shared_ptr<PostActivationWorkflowProtocol> postActivationWorkflow();
    void setPostActivationWorkflow(std::shared_ptr<PostActivationWorkflowProtocol> workflow);
    std::shared_ptr<DeleteVexaQrMessageServiceProtocol> deleteVexaQrMessageService();
    void setDeleteVexaQrMessageService(std::shared_ptr<DeleteVexaQrMessageServiceProtocol> service);
    std::shared_ptr<DeleteAllVexaQrMessageServiceProtocol> deleteAllVexaQrMessageService();
    void setDeleteAllVexaQrMessageService(std::shared_ptr<DeleteAllVexaQrMessageServiceProtocol> service);

private:
    void onRegistration(const Registration::ViewModel& viewModel,
                        const std::optional<Registration::ResponseModel>& response, const std::optional<Error>& error,
                        ResultCompletion completion);
    void onActivation(const Activation::ViewModel& viewModel, const std::optional<Activation::ResponseModel>& response,
                      const std::optional<Error>& error, ResultCompletion completion);
    void runPostActivation(const Activation::ViewModel& viewModel, ResultCompletion completion);
    /// Stores the backend's user id when it sent one; false when the store did not keep it.
    bool saveUserId(const std::optional<std::int64_t>& vxaUserId);

    WebServiceEnvironment serviceEnvironment() const;

    Environment _environment;
    // Pending answers hold this weakly: the facade need not live in a std::shared_ptr.
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    std::shared_ptr<KeyHandlingWorkflowProtocol> _keyHandlingWorkflow;
    std::shared_ptr<RegistrationServiceProtocol> _registrationService;
    std::shared_ptr<ActivationServiceProtocol> _activationService;
    std::shared_ptr<VexaQrMessageWorkflowProtocol> _vexaQrMessageWorkflow;
    std::shared_ptr<PostActivationWorkflowProtocol> _postActivationWorkflow;
    std::shared_ptr<DeleteVexaQrMessageServiceProtocol> _deleteVexaQrMessageService;
    std::shared_ptr<DeleteAllVexaQrMessageServiceProtocol> _deleteAllVexaQrMessageService;
};

} // namespace vexaqr
