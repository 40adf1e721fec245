#include "account/keys/KeyStore.hpp"

#include "account/keys/InMemoryKeyStore.hpp"
#include "account/keys/SqliteKeyStore.hpp"

namespace vexaqr {

KeyStoreStatus KeyStore::write(const std::vector<KeyStoreWrite>& writes) {
    for (const auto& change : writes) {
        const KeyStoreStatus removed = remove(change.tag);
        if (removed != KeyStoreStatus::success && removed != KeyStoreStatus::itemNotFound)
            return removed;
        if (change.key) {
            const KeyStoreStatus added = add(change.tag, change.key);
            if (added != KeyStoreStatus::success)
                return added;
        }
    }
    return KeyStoreStatus::success;
}

std::shared_ptr<KeyStore> KeyStore::makeSqlite(const std::filesystem::path& directory) {
    return std::make_shared<SqliteKeyStore>([directory] { return directory; });
}

std::shared_ptr<KeyStore> KeyStore::makeInMemory() {
    return std::make_shared<InMemoryKeyStore>();
}

} // namespace vexaqr
