// KeychainWrapper: names the SDK's four RSA keys and stores, fetches and removes them by tag.
//
// Works on the key store it is given. Tags are compared by their UTF-8 bytes, so a key added here is the key
// RsaPemManager finds under the same tag text in the same store. Safe on any thread the store is safe on.
#pragma once

#include "account/keys/KeyNaming.hpp"
#include "account/keys/KeyStore.hpp"
#include <vexaqr/payload/KeyHandle.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vexaqr {

class KeychainWrapper final {
public:
    /// A wrapper over `store`, which must not be null.
    explicit KeychainWrapper(std::shared_ptr<KeyStore> store);

    /// The key under `tag`, or null when there is none or the store fails.
    KeyHandle getRsaKey(const std::string& tag) const;

    /// Removes the key under `tag`; true also when there was none.
    bool deleteRsaKey(const std::string& tag) const;

    /// Replaces whatever `tag` holds with `key`; false (and nothing added) when the old key cannot be
    /// removed or the add fails.
    bool addRsaKey(const std::string& tag, const KeyHandle& key) const;

    /// Removes the client and partner keys, private and public, as one change where the store allows;
    /// failures are ignored (then as many as can be are removed one by one).
    void resetKeys() const;

    /// A tag text and the key to keep under it.
    using TaggedKey = std::pair<std::string, KeyHandle>;

    /// Stores each key under its tag, replacing what the tags held, as one change: true when all are
    /// stored; on false the library's stores keep what they held before (even after a crash).
    bool addRsaKeys(const std::vector<TaggedKey>& keys) const;

    /// resetKeys() followed by addRsaKeys(keys), as one change with the same guarantee.
    bool resetKeysAndAdd(const std::vector<TaggedKey>& keys) const;

    /// rsaKeyTagPrefix + "." + owner + "." + type, e.g. "<prefix>.partner.public".
    static std::string keyTag(Activation::KeyOwner owner, Activation::KeyType keyType);

private:
    std::shared_ptr<KeyStore> _store;
};

} // namespace vexaqr
