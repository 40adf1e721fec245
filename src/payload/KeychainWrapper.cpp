#include <vexaqr/payload/KeychainWrapper.hpp>

#include <vexaqr/payload/KeyStore.hpp>

namespace vexaqr {

KeychainWrapper& KeychainWrapper::standard() {
    static auto* instance = new KeychainWrapper; // never destroyed
    return *instance;
}

KeyHandle KeychainWrapper::getRsaKey(const std::string& tag) const {
    auto lookup = KeyStore::standard()->copyMatching(toBytes(tag));
    return lookup.status == KeyStoreStatus::success ? lookup.key : nullptr;
}

bool KeychainWrapper::deleteRsaKey(const std::string& tag) const {
    const auto status = KeyStore::standard()->remove(toBytes(tag));
    return status == KeyStoreStatus::success || status == KeyStoreStatus::itemNotFound;
}

bool KeychainWrapper::addRsaKey(const std::string& tag, const KeyHandle& key) const {
    if (!deleteRsaKey(tag))
        return false;
    return KeyStore::standard()->add(toBytes(tag), key) == KeyStoreStatus::success;
}

void KeychainWrapper::resetKeys() const {
    using Activation::KeyOwner;
    using Activation::KeyType;
    for (auto owner : {KeyOwner::clientKey, KeyOwner::partnerKey})
        for (auto type : {KeyType::privateKey, KeyType::publicKey})
            deleteRsaKey(keyTag(owner, type));
}

std::string KeychainWrapper::keyTag(Activation::KeyOwner owner, Activation::KeyType keyType) {
    std::string tag(Constant::Application::rsaKeyTagPrefix);
    tag += '.';
    tag += Activation::rawValue(owner);
    tag += '.';
    tag += Activation::rawValue(keyType);
    return tag;
}

} // namespace vexaqr
