#include "account/sdk/KeyHandlingWorkflow.hpp"

#include "account/keys/KeychainWrapper.hpp"
#include "account/keys/RsaPemManager.hpp"
#include "account/sdk/AppDataService.hpp"

#include <algorithm>

namespace vexaqr {

namespace {

using Constant::Application::makeSdkError;
using Constant::Application::ResultCode;

// The key-type name the PEM export is given; the export does not depend on it.
constexpr const char* kRsaKeyType = "RSA";

std::string tag(Activation::KeyOwner owner, Activation::KeyType type) {
    return KeychainWrapper::keyTag(owner, type);
}

void finishWithSdkError(const WorkflowCompletion& completion, ResultCode code, const std::string& detail = {}) {
    auto error = makeSdkError(code);
    if (!detail.empty())
        error.message += ": " + detail;
    completion(code, error);
}

std::vector<KeychainWrapper::TaggedKey> clientKeys(const RsaKeyPair& pair) {
    return {{tag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey), pair.privateKey},
            {tag(Activation::KeyOwner::clientKey, Activation::KeyType::publicKey), pair.publicKey}};
}

// The store is emptied and the generated pair kept under the client tags at once, as a permanent platform
// key pair would be; in one change, so that no crash leaves half a pair or the old keys beside the new.
std::optional<RsaKeyPair> generateStoredClientPair(const KeychainWrapper& keychain, Activation::RsaKeySize keySize) {
    auto pair = RsaKey::generatePair(static_cast<int>(keySize));
    if (!pair || !pair->privateKey || !pair->publicKey) {
        keychain.resetKeys();
        return std::nullopt;
    }
    if (!keychain.resetKeysAndAdd(clientKeys(*pair)))
        return std::nullopt;
    return pair;
}

// Line ends inside a downloaded key would otherwise end up in the stored text's base-64.
std::string withoutLineEnds(std::string text) {
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

} // namespace

KeyHandlingWorkflow::KeyHandlingWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                         std::shared_ptr<KeyStore> keyStore, WebServiceEnvironment environment)
    : _appDataService(std::move(appDataService)), _keyStore(std::move(keyStore)), _environment(std::move(environment)) {
}

void KeyHandlingWorkflow::clientRsaKeyHandlingProcess(Activation::RsaKeySize keySize, WorkflowCompletion completion) {
    auto pair = generateStoredClientPair(KeychainWrapper(_keyStore), keySize);
    if (!pair)
        return finishWithSdkError(completion, ResultCode::clientKeyGenerationError);
    updatePublicKey(*pair, keySize, std::move(completion));
}

void KeyHandlingWorkflow::updatePublicKey(const RsaKeyPair& pair, Activation::RsaKeySize keySize,
                                          WorkflowCompletion completion) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    auto pem = appUniqueId ? pemFormatOfPublicKey(keySize) : std::nullopt;
    if (!pem)
        return finishWithSdkError(completion, ResultCode::clientKeyFormatError);
    updateKeysService()->updateKeys({appUniqueId->uuidString(), *pem},
                                    [weakSelf = weak_from_this(), pair, completion](
                                        std::optional<UpdateKeys::ResponseModel> response, std::optional<Error> error) {
                                        auto self = weakSelf.lock();
                                        if (!self)
                                            return;
                                        const ResultCode code =
                                            response ? response->result() : ResultCode::unknownResultCode;
                                        if (code != ResultCode::successfulOperation)
                                            return completion(code, error);
                                        completion(self->storeClientKeys(pair), error);
                                    });
}

std::optional<std::string> KeyHandlingWorkflow::pemFormatOfPublicKey(Activation::RsaKeySize keySize) const {
    KeyHandle stored =
        KeychainWrapper(_keyStore).getRsaKey(tag(Activation::KeyOwner::clientKey, Activation::KeyType::publicKey));
    if (!stored)
        return std::nullopt;
    const Bytes pkcs1 = stored->publicKey()->externalRepresentation();
    if (pkcs1.empty())
        return std::nullopt;
    return RsaPemManager().exportRSAPublicKeyToPEM(pkcs1, kRsaKeyType, static_cast<int>(keySize));
}

Constant::Application::ResultCode KeyHandlingWorkflow::storeClientKeys(const RsaKeyPair& pair) const {
    return KeychainWrapper(_keyStore).addRsaKeys(clientKeys(pair)) ? ResultCode::successfulOperation
                                                                   : ResultCode::clientKeyPersistError;
}

void KeyHandlingWorkflow::partnerKeyHandlingProcess(const Activation::ViewModel& viewModel,
                                                    WorkflowCompletion completion) {
    if (viewModel.partnerPrivateKey)
        savePartnerPrivateKey(*viewModel.partnerPrivateKey);
    if (viewModel.partnerPublicKey && savePartnerPublicKey(*viewModel.partnerPublicKey))
        return completion(ResultCode::successfulOperation, std::nullopt);
    downloadPartnerPublicKey(std::move(completion));
}

void KeyHandlingWorkflow::downloadPartnerPublicKey(WorkflowCompletion completion) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId) // nothing can be asked for: fail now rather than never answer
        return finishWithSdkError(completion, ResultCode::unknownResultCode);
    getPublicKeyOfPartnerService()->getPublicKeyOfPartner(
        {appUniqueId->uuidString()},
        [weakSelf = weak_from_this(), completion](std::optional<GetPublicKeyOfPartner::ResponseModel> response,
                                                  std::optional<Error> /*serviceError*/) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (!response)
                return finishWithSdkError(completion, ResultCode::unknownResultCode);
            if (response->resultCode != rawValue(ResultCode::successfulOperation))
                return finishWithSdkError(completion, response->result());
            if (!response->publicKey) // a success without the key it stands for stores nothing
                return finishWithSdkError(completion, ResultCode::partnerKeyPersistError,
                                          "the backend's answer carried no partner public key");
            completion(self->savePartnerPublicKeyFromDownload(*response->publicKey), std::nullopt);
        });
}

Constant::Application::ResultCode KeyHandlingWorkflow::savePartnerPublicKeyFromDownload(std::string pem) {
    return savePartnerPublicKey(withoutLineEnds(std::move(pem))) ? ResultCode::successfulOperation
                                                                 : ResultCode::partnerKeyPersistError;
}

bool KeyHandlingWorkflow::savePartnerPublicKey(const std::string& pem) {
    return RsaPemManager(_keyStore).addRSAPublicKey(
               pem, tag(Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey)) != nullptr;
}

bool KeyHandlingWorkflow::savePartnerPrivateKey(const std::string& pem) {
    return RsaPemManager(_keyStore).addRSAPrivateKey(
               pem, tag(Activation::KeyOwner::partnerKey, Activation::KeyType::privateKey)) != nullptr;
}

std::shared_ptr<UpdateKeysServiceProtocol> KeyHandlingWorkflow::updateKeysService() {
    if (!_updateKeysService)
        _updateKeysService = std::make_shared<UpdateKeysService>(_environment);
    return _updateKeysService;
}

void KeyHandlingWorkflow::setUpdateKeysService(std::shared_ptr<UpdateKeysServiceProtocol> service) {
    _updateKeysService = std::move(service);
}

std::shared_ptr<GetPublicKeyOfPartnerServiceProtocol> KeyHandlingWorkflow::getPublicKeyOfPartnerService() {
    if (!_getPublicKeyOfPartnerService)
        _getPublicKeyOfPartnerService = std::make_shared<GetPublicKeyOfPartnerService>(_environment);
    return _getPublicKeyOfPartnerService;
}

void KeyHandlingWorkflow::setGetPublicKeyOfPartnerService(
    std::shared_ptr<GetPublicKeyOfPartnerServiceProtocol> service) {
    _getPublicKeyOfPartnerService = std::move(service);
}

} // namespace vexaqr
