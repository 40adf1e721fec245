#include <vexaqr/sdk/AppDataService.hpp>

#include <vexaqr/payload/KeychainWrapper.hpp>
#include <vexaqr/payload/RsaPemManager.hpp>
#include <vexaqr/sdk/DatabaseWrapper.hpp>

namespace vexaqr {

namespace {

using Constant::CoreData::AttributeKey;

DatabaseWrapper& database() {
    return DatabaseWrapper::standard();
}

std::optional<std::int64_t> storedInteger(AttributeKey key) {
    auto value = database().value(key);
    if (!value)
        return std::nullopt;
    if (auto* integer = std::get_if<std::int64_t>(&*value))
        return *integer;
    if (auto* real = std::get_if<double>(&*value))
        return static_cast<std::int64_t>(*real);
    return std::nullopt;
}

std::optional<std::string> storedText(AttributeKey key) {
    auto value = database().value(key);
    if (!value)
        return std::nullopt;
    if (auto* text = std::get_if<std::string>(&*value))
        return *text;
    return std::nullopt;
}

KeyHandle storedKey(Activation::KeyOwner owner, Activation::KeyType type) {
    return RsaPemManager().getRSAKeyFromKeychain(KeychainWrapper::keyTag(owner, type));
}

} // namespace

std::optional<Uuid> AppDataService::createNewAppUniqueId() {
    const auto id = Uuid::random();
    if (id)
        database().set(id->uuidString(), AttributeKey::appUniqueId);
    return id;
}

std::optional<Uuid> AppDataService::getAppUniqueId() {
    auto text = storedText(AttributeKey::appUniqueId);
    return text ? Uuid::fromString(*text) : std::nullopt;
}

std::optional<std::int64_t> AppDataService::getVexaQrUserId() {
    return storedInteger(AttributeKey::vexaQrUserId);
}

void AppDataService::save(std::int64_t vexaQrUserId) {
    database().set(vexaQrUserId, AttributeKey::vexaQrUserId);
}

std::optional<std::string> AppDataService::getUserEmail() {
    return storedText(AttributeKey::userEmailAddress);
}

void AppDataService::save(const std::string& userEmail) {
    database().set(userEmail, AttributeKey::userEmailAddress);
}

VexaQrSDKRegistrationState AppDataService::getRegistrationState() {
    auto raw = storedInteger(AttributeKey::registrationState);
    if (raw && *raw >= 0 && *raw <= 2)
        return static_cast<VexaQrSDKRegistrationState>(*raw);
    return VexaQrSDKRegistrationState::initial;
}

void AppDataService::save(VexaQrSDKRegistrationState registrationState) {
    database().set(rawValue(registrationState), AttributeKey::registrationState);
}

KeyHandle AppDataService::getPartnerPublicKey() {
    return storedKey(Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey);
}

KeyHandle AppDataService::getPartnerPrivateKey() {
    return storedKey(Activation::KeyOwner::partnerKey, Activation::KeyType::privateKey);
}

KeyHandle AppDataService::getClientPublicKey() {
    return storedKey(Activation::KeyOwner::clientKey, Activation::KeyType::publicKey);
}

KeyHandle AppDataService::getClientPrivateKey() {
    return storedKey(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey);
}

void AppDataService::resetRegistration() {
    KeychainWrapper::standard().resetKeys();
    database().resetDatabase();
    save(VexaQrSDKRegistrationState::initial);
}

} // namespace vexaqr
