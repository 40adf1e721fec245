#include "account/keys/InMemoryKeyStore.hpp"

#include <algorithm>
#include <cstring>

namespace vexaqr {

bool InMemoryKeyStore::TagOrder::operator()(const Bytes& left, const Bytes& right) const noexcept {
    const std::size_t common = std::min(left.size(), right.size());
    const int order = common == 0 ? 0 : std::memcmp(left.data(), right.data(), common);
    return order != 0 ? order < 0 : left.size() < right.size();
}

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

KeyStoreStatus InMemoryKeyStore::write(const std::vector<KeyStoreWrite>& writes) {
    std::lock_guard lock(_mutex);
    for (const auto& change : writes) {
        _keys.erase(change.tag);
        if (change.key)
            _keys.emplace(change.tag, change.key);
    }
    return KeyStoreStatus::success;
}

} // namespace vexaqr
