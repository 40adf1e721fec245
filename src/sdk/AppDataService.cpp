#include <vexaqr/sdk/AppDataService.hpp>

#include <vexaqr/payload/KeychainWrapper.hpp>
#include <vexaqr/sdk/DatabaseWrapper.hpp>

namespace vexaqr {

namespace {

using Constant::CoreData::AttributeKey;

// The whole part of a stored real; nothing for NaN, the infinities and values no 64-bit integer holds.
std::optional<std::int64_t> integralPart(double real) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(real >= -kLimit && real < kLimit))         // also false for NaN
        return std::nullopt;
    return static_cast<std::int64_t>(real);
}

std::optional<std::int64_t> storedInteger(DatabaseWrapper& database, AttributeKey key) {
    auto value = database.value(key);
    if (!value)
        return std::nullopt;
    if (auto* integer = std::get_if<std::int64_t>(&*value))
        return *integer;
    if (auto* real = std::get_if<double>(&*value))
        return integralPart(*real);
    return std::nullopt;
}

std::optional<std::string> storedText(DatabaseWrapper& database, AttributeKey key) {
    auto value = database.value(key);
    if (!value)
        return std::nullopt;
    if (auto* text = std::get_if<std::string>(&*value))
        return *text;
    return std::nullopt;
}

KeyHandle storedKey(const KeychainWrapper& keychain, Activation::KeyOwner owner, Activation::KeyType type) {
    return keychain.getRsaKey(KeychainWrapper::keyTag(owner, type));
}

} // namespace

std::shared_ptr<AppDataService> AppDataService::standard() {
    static auto* instance = new std::shared_ptr<AppDataService>( // never destroyed
        std::make_shared<AppDataService>(DatabaseWrapper::standard(), KeychainWrapper::standard()));
    return *instance;
}

AppDataService::AppDataService(DatabaseWrapper& database, const KeychainWrapper& keychain)
    : _database(database), _keychain(keychain) {}

std::optional<Uuid> AppDataService::createNewAppUniqueId() {
    const auto id = Uuid::random();
    if (!id || !_database.set(id->uuidString(), AttributeKey::appUniqueId))
        return std::nullopt; // an id the store does not hold would register an installation nobody can find
    return id;
}

std::optional<Uuid> AppDataService::getAppUniqueId() {
    auto text = storedText(_database, AttributeKey::appUniqueId);
    return text ? Uuid::fromString(*text) : std::nullopt;
}

std::optional<std::int64_t> AppDataService::getVexaQrUserId() {
    return storedInteger(_database, AttributeKey::vexaQrUserId);
}

void AppDataService::save(std::int64_t vexaQrUserId) {
    (void)trySave(vexaQrUserId);
}

bool AppDataService::trySave(std::int64_t vexaQrUserId) {
    return _database.set(vexaQrUserId, AttributeKey::vexaQrUserId);
}

std::optional<std::string> AppDataService::getUserEmail() {
    return storedText(_database, AttributeKey::userEmailAddress);
}

void AppDataService::save(const std::string& userEmail) {
    (void)trySave(userEmail);
}

bool AppDataService::trySave(const std::string& userEmail) {
    return _database.set(userEmail, AttributeKey::userEmailAddress);
}

VexaQrSDKRegistrationState AppDataService::getRegistrationState() {
    auto raw = storedInteger(_database, AttributeKey::registrationState);
    if (raw && *raw >= 0 && *raw <= 2)
        return static_cast<VexaQrSDKRegistrationState>(*raw);
    return VexaQrSDKRegistrationState::initial;
}

void AppDataService::save(VexaQrSDKRegistrationState registrationState) {
    (void)trySave(registrationState);
}

bool AppDataService::trySave(VexaQrSDKRegistrationState registrationState) {
    return _database.set(rawValue(registrationState), AttributeKey::registrationState);
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
