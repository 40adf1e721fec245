#include "payload/InMemoryKeyStore.hpp"

namespace vexaqr {

KeyStoreStatus InMemoryKeyStore::add(const Bytes& tag, const KeyHandle& key) {
    if (!key)
        return KeyStoreStatus::invalidParameter;
    std::lock_guard lock(_mutex);
    return _keys.emplace(tag, key).second ? KeyStoreStatus::success : KeyStoreStatus::duplicateItem;
}

KeyStoreLookup InMemoryKeyStore::copyMatching(const Bytes& tag) {
    std::lock_guard lock(_mutex);
    auto found = _keys.find(tag);
    if (found == _keys.end())
        return {KeyStoreStatus::itemNotFound, nullptr};
    return {KeyStoreStatus::success, found->second};
}

KeyStoreStatus InMemoryKeyStore::remove(const Bytes& tag) {
    std::lock_guard lock(_mutex);
    return _keys.erase(tag) == 1 ? KeyStoreStatus::success : KeyStoreStatus::itemNotFound;
}

} // namespace vexaqr
