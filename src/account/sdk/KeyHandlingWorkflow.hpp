// KeyHandlingWorkflow: the installation's own RSA pair (generated here, its public half uploaded as
// PEM text, both halves kept in the key store) and the partner's keys (given as PEM text or
// downloaded from the backend).
//
// Key generation and key-store writes run synchronously on the calling thread; completions run on
// the main queue of the workflow's service environment, or on the calling thread when the process
// ends before anything is sent. The four keys live in the key store it is given under KeychainWrapper's tags. Owned
// through a std::shared_ptr: an answer that arrives after the workflow has gone is dropped. Use from the main thread.
#pragma once

#include "account/service/Activation.hpp"
#include "account/service/GetPublicKeyOfPartner.hpp"
#include "account/service/ResultCode.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Error.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vexaqr {

class KeyStore;

class AppDataServiceProtocol;

/// The outcome of a workflow step: its code and, for failures, an error.
using WorkflowCompletion = std::function<void(Constant::Application::ResultCode, std::optional<Error>)>;

class KeyHandlingWorkflowProtocol {
public:
    virtual ~KeyHandlingWorkflowProtocol() = default;

    /// Empties the key store, generates a pair of `keySize`, uploads its public half and stores both
    /// halves under the client tags. Completes exactly once.
    virtual void clientRsaKeyHandlingProcess(Activation::RsaKeySize keySize, WorkflowCompletion completion) = 0;

    /// Stores the partner's keys from `viewModel`, or downloads the partner's public key when none
    /// given can be stored. Completes exactly once.
    virtual void partnerKeyHandlingProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) = 0;

    /// Stores the PEM text as the partner's public key; whether a key was stored.
    virtual bool savePartnerPublicKey(const std::string& pem) = 0;

    /// Stores the PEM text as the partner's private key; whether a key was stored.
    virtual bool savePartnerPrivateKey(const std::string& pem) = 0;
};

class KeyHandlingWorkflow final : public KeyHandlingWorkflowProtocol,
                                  public std::enable_shared_from_this<KeyHandlingWorkflow> {
public:
    /// Keeps `appDataService` (the installation id); services are made on first use with
    /// `environment`. Keys go to `keyStore`.
    KeyHandlingWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService, std::shared_ptr<KeyStore> keyStore,
                        WebServiceEnvironment environment = {});

    void clientRsaKeyHandlingProcess(Activation::RsaKeySize keySize, WorkflowCompletion completion) override;
    void partnerKeyHandlingProcess(const Activation::ViewModel& viewModel, WorkflowCompletion completion) override;
    bool savePartnerPublicKey(const std::string& pem) override;
    bool savePartnerPrivateKey(const std::string& pem) override;

    /// The upload service, created on first use; replaceable.
    std::shared_ptr<UpdateKeysServiceProtocol> updateKeysService();
    void setUpdateKeysService(std::shared_ptr<UpdateKeysServiceProtocol> service);

    /// The partner-key download service, created on first use; replaceable.
    std::shared_ptr<GetPublicKeyOfPartnerServiceProtocol> getPublicKeyOfPartnerService();
    void setGetPublicKeyOfPartnerService(std::shared_ptr<GetPublicKeyOfPartnerServiceProtocol> service);

private:
    void updatePublicKey(const RsaKeyPair& pair, Activation::RsaKeySize keySize, WorkflowCompletion completion);
    std::optional<std::string> pemFormatOfPublicKey(Activation::RsaKeySize keySize) const;
    Constant::Application::ResultCode storeClientKeys(const RsaKeyPair& pair) const;
    void downloadPartnerPublicKey(WorkflowCompletion completion);
    Constant::Application::ResultCode savePartnerPublicKeyFromDownload(std::string pem);

    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    std::shared_ptr<KeyStore> _keyStore;
    WebServiceEnvironment _environment;
    std::shared_ptr<UpdateKeysServiceProtocol> _updateKeysService;
    std::shared_ptr<GetPublicKeyOfPartnerServiceProtocol> _getPublicKeyOfPartnerService;
};

} // namespace vexaqr
