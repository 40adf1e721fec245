#include "account/sdk/AppDataService.hpp"

#include "account/keys/KeychainWrapper.hpp"
#include "account/sdk/DatabaseWrapper.hpp"

namespace vexaqr {

namespace {

KeyHandle storedKey(const KeychainWrapper& keychain, Activation::KeyOwner owner, Activation::KeyType type) {
    return keychain.getRsaKey(KeychainWrapper::keyTag(owner, type));
}

} // namespace

AppDataService::AppDataService(DatabaseWrapper& database, const KeychainWrapper& keychain)
    : _database(database), _keychain(keychain) {}

std::optional<Uuid> AppDataService::createNewAppUniqueId() {
    const auto id = Uuid::random();
    if (!id || !_database.setAppUniqueId(id->uuidString()))
        return std::nullopt; // an id the store does not hold would register an installation nobody can find
    return id;
}

std::optional<Uuid> AppDataService::getAppUniqueId() {
    auto text = _database.settings().appUniqueId;
    return text ? Uuid::fromString(*text) : std::nullopt;
}

std::optional<std::int64_t> AppDataService::getVexaQrUserId() {
    return _database.settings().vexaQrUserId;
}

void AppDataService::save(std::int64_t vexaQrUserId) {
    (void)trySave(vexaQrUserId);
}

bool AppDataService::trySave(std::int64_t vexaQrUserId) {
    return _database.setVexaQrUserId(vexaQrUserId);
}

std::optional<std::string> AppDataService::getUserEmail() {
    return _database.settings().userEmailAddress;
}

void AppDataService::save(const std::string& userEmail) {
    (void)trySave(userEmail);
}

bool AppDataService::trySave(const std::string& userEmail) {
    return _database.setUserEmailAddress(userEmail);
}

VexaQrSDKRegistrationState AppDataService::getRegistrationState() {
    auto raw = _database.settings().registrationState;
    if (raw && *raw >= 0 && *raw <= 2)
        return static_cast<VexaQrSDKRegistrationState>(*raw);
    return VexaQrSDKRegistrationState::initial;
}

void AppDataService::save(VexaQrSDKRegistrationState registrationState) {
    (void)trySave(registrationState);
}

bool AppDataService::trySave(VexaQrSDKRegistrationState registrationState) {
    return _database.setRegistrationState(rawValue(registrationState));
}

KeyHandle AppDataService::getPartnerPublicKey() {
    return storedKey(_keychain, Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey);
}

KeyHandle AppDataService::getPartnerPrivateKey() {
    return storedKey(_keychain, Activation::KeyOwner::partnerKey, Activation::KeyType::privateKey);
}

KeyHandle AppDataService::getClientPublicKey() {
    return storedKey(_keychain, Activation::KeyOwner::clientKey, Activation::KeyType::publicKey);
}

KeyHandle AppDataService::getClientPrivateKey() {
    return storedKey(_keychain, Activation::KeyOwner::clientKey, Activation::KeyType::privateKey);
}

void AppDataService::resetRegistration() {
    _keychain.resetKeys();
    _database.resetDatabase();
    save(VexaQrSDKRegistrationState::initial);
}

} // namespace vexaqr
