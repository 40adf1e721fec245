#include <vexaqr/payload/KeychainWrapper.hpp>

namespace vexaqr {

namespace {

// Asks KeyStore::standard() at every call, so the shared wrapper follows KeyStore::setStandard.
class CurrentStandardKeyStore final : public KeyStore {
public:
    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override { return KeyStore::standard()->add(tag, key); }
    KeyStoreLookup copyMatching(const Bytes& tag) override { return KeyStore::standard()->copyMatching(tag); }
    KeyStoreStatus remove(const Bytes& tag) override { return KeyStore::standard()->remove(tag); }
};

} // namespace

KeychainWrapper& KeychainWrapper::standard() {
    static auto* instance = new KeychainWrapper(std::make_shared<CurrentStandardKeyStore>()); // never destroyed
    return *instance;
}

KeychainWrapper::KeychainWrapper(std::shared_ptr<KeyStore> store) : _store(std::move(store)) {}

KeyHandle KeychainWrapper::getRsaKey(const std::string& tag) const {
    auto lookup = _store->copyMatching(toBytes(tag));
    return lookup.status == KeyStoreStatus::success ? lookup.key : nullptr;
}

bool KeychainWrapper::deleteRsaKey(const std::string& tag) const {
    const auto status = _store->remove(toBytes(tag));
    return status == KeyStoreStatus::success || status == KeyStoreStatus::itemNotFound;
}

bool KeychainWrapper::addRsaKey(const std::string& tag, const KeyHandle& key) const {
    if (!deleteRsaKey(tag))
        return false;
    return _store->add(toBytes(tag), key) == KeyStoreStatus::success;
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
