#include "account/keys/KeychainWrapper.hpp"

namespace vexaqr {

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
    return addRsaKeys({{tag, key}});
}

namespace {

std::vector<KeyStoreWrite> removalsOfTheFourKeys() {
    using Activation::KeyOwner;
    using Activation::KeyType;
    std::vector<KeyStoreWrite> removals;
    for (auto owner : {KeyOwner::clientKey, KeyOwner::partnerKey})
        for (auto type : {KeyType::privateKey, KeyType::publicKey})
            removals.push_back({toBytes(KeychainWrapper::keyTag(owner, type)), nullptr});
    return removals;
}

// `writes` followed by the additions of `keys`; nothing when a key is null (it would empty its tag instead).
std::optional<std::vector<KeyStoreWrite>> withAdditions(std::vector<KeyStoreWrite> writes,
                                                        const std::vector<KeychainWrapper::TaggedKey>& keys) {
    for (const auto& [tag, key] : keys) {
        if (!key)
            return std::nullopt;
        writes.push_back({toBytes(tag), key});
    }
    return writes;
}

} // namespace

void KeychainWrapper::resetKeys() const {
    const auto removals = removalsOfTheFourKeys();
    if (_store->write(removals) == KeyStoreStatus::success)
        return;
    for (const auto& removal : removals)
        _store->remove(removal.tag);
}

bool KeychainWrapper::addRsaKeys(const std::vector<TaggedKey>& keys) const {
    const auto writes = withAdditions({}, keys);
    return writes && _store->write(*writes) == KeyStoreStatus::success;
}

bool KeychainWrapper::resetKeysAndAdd(const std::vector<TaggedKey>& keys) const {
    const auto writes = withAdditions(removalsOfTheFourKeys(), keys);
    return writes && _store->write(*writes) == KeyStoreStatus::success;
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
