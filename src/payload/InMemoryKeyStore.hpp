// InMemoryKeyStore: the key store for tests and fuzzing; forgets everything with the object.
#pragma once

#include <vexaqr/payload/KeyStore.hpp>

#include <map>
#include <mutex>

namespace vexaqr {

class InMemoryKeyStore final : public KeyStore {
public:
    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override;
    KeyStoreLookup copyMatching(const Bytes& tag) override;
    KeyStoreStatus remove(const Bytes& tag) override;

private:
    std::mutex _mutex;
    std::map<Bytes, KeyHandle> _keys;
};

} // namespace vexaqr
