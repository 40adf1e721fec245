// KeychainWrapper: names the SDK's four RSA keys and stores, fetches and removes them by tag.
//
// Works on the key store it is given; standard() works on KeyStore::standard(), following its
// replacement. Tags are compared by their UTF-8 bytes, so a key added here is the key RsaPemManager
// finds under the same tag text in the same store. Safe on any thread the store is safe on.
#pragma once

#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/payload/KeyNaming.hpp>
#include <vexaqr/payload/KeyStore.hpp>

#include <memory>
#include <string>

namespace vexaqr {

class KeychainWrapper final {
public:
    /// The shared instance over the process-wide key store, created on first use.
    static KeychainWrapper& standard();

    /// A wrapper over `store`, which must not be null.
    explicit KeychainWrapper(std::shared_ptr<KeyStore> store);

    /// The key under `tag`, or null when there is none or the store fails.
    KeyHandle getRsaKey(const std::string& tag) const;

    /// Removes the key under `tag`; true also when there was none.
    bool deleteRsaKey(const std::string& tag) const;

    /// Replaces whatever `tag` holds with `key`; false (and nothing added) when the old key cannot be
    /// removed or the add fails.
    bool addRsaKey(const std::string& tag, const KeyHandle& key) const;

    /// Removes the client and partner keys, private and public; failures are ignored.
    void resetKeys() const;

    /// rsaKeyTagPrefix + "." + owner + "." + type, e.g. "<prefix>.partner.public".
    static std::string keyTag(Activation::KeyOwner owner, Activation::KeyType keyType);

private:
    std::shared_ptr<KeyStore> _store;
};

} // namespace vexaqr
