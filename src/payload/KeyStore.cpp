#include <vexaqr/payload/KeyStore.hpp>

#include <vexaqr/platform/DataDirectory.hpp>

#include "payload/InMemoryKeyStore.hpp"
#include "payload/SqliteKeyStore.hpp"

#include <mutex>

namespace vexaqr {

namespace {

struct StandardStore {
    std::mutex mutex;
    std::shared_ptr<KeyStore> store;
};

StandardStore& standardStore() {
    static auto* instance = new StandardStore; // never destroyed
    return *instance;
}

} // namespace

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

std::shared_ptr<KeyStore> KeyStore::standard() {
    auto& s = standardStore();
    std::lock_guard lock(s.mutex);
    if (!s.store)
        s.store = makeSqliteInDataDirectory();
    return s.store;
}

void KeyStore::setStandard(std::shared_ptr<KeyStore> store) {
    auto& s = standardStore();
    std::lock_guard lock(s.mutex);
    s.store = std::move(store);
}

std::shared_ptr<KeyStore> KeyStore::makeSqliteInDataDirectory() {
    return std::make_shared<SqliteKeyStore>(&DataDirectory::current);
}

std::shared_ptr<KeyStore> KeyStore::makeSqlite(const std::filesystem::path& directory) {
    return std::make_shared<SqliteKeyStore>([directory] { return directory; });
}

std::shared_ptr<KeyStore> KeyStore::makeInMemory() {
    return std::make_shared<InMemoryKeyStore>();
}

} // namespace vexaqr
