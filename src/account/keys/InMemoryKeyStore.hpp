// InMemoryKeyStore: the key store for tests and fuzzing; forgets everything with the object.
#pragma once

#include "account/keys/KeyStore.hpp"

#include <cstddef>
#include <map>
#include <mutex>

namespace vexaqr {

class InMemoryKeyStore final : public KeyStore {
public:
    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override;
    KeyStoreLookup copyMatching(const Bytes& tag) override;
    KeyStoreStatus remove(const Bytes& tag) override;
    KeyStoreStatus write(const std::vector<KeyStoreWrite>& writes) override;

private:
    // The byte order of std::less<Bytes>, spelled out: GCC 12 at -O3 reports a false out-of-bounds read in
    // std::less<Bytes> (a memcmp bound it derives from a pointer difference it cannot prove non-negative).
    struct TagOrder {
        bool operator()(const Bytes& left, const Bytes& right) const noexcept;
    };

    std::mutex _mutex;
    std::map<Bytes, KeyHandle, TagOrder> _keys;
};

} // namespace vexaqr
