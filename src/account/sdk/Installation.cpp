#include <vexaqr/sdk/Installation.hpp>

#include "account/hub/UserDefaults.hpp"
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/platform/DataDirectory.hpp"
#include "account/sdk/AppDataService.hpp"
#include "account/sdk/DatabaseWrapper.hpp"

#include "account/keys/SqliteKeyStore.hpp"

namespace vexaqr {

// The stores stay out of the installed header: a host names them only through the accessors.
struct Installation::Stores {
    Stores(DirectoryProvider directory, std::shared_ptr<KeyStore> keyStore, std::shared_ptr<UserDefaults> userDefaults)
        : directory(std::move(directory)), keyStore(std::move(keyStore)), keychain(this->keyStore),
          manager(this->directory), database(manager), userDefaults(std::move(userDefaults)),
          appData(database, keychain) {}

    DirectoryProvider directory;
    std::shared_ptr<KeyStore> keyStore;
    KeychainWrapper keychain;
    PersistencyManager manager;
    DatabaseWrapper database;
    std::shared_ptr<UserDefaults> userDefaults;
    AppDataService appData;
};

std::shared_ptr<Installation> Installation::inDirectory(const std::filesystem::path& directory) {
    return inDirectory(directory, KeyStore::makeSqlite(directory));
}

std::shared_ptr<Installation> Installation::inDirectory(const std::filesystem::path& directory,
                                                        std::shared_ptr<KeyStore> keyStore) {
    auto fixed = [directory] { return directory; };
    return std::shared_ptr<Installation>(
        new Installation(fixed, std::move(keyStore), std::make_shared<UserDefaults>(fixed)));
}

std::shared_ptr<Installation> Installation::standard() {
    static auto* instance = new std::shared_ptr<Installation>(new Installation( // never destroyed
        &DataDirectory::defaultPath, std::make_shared<SqliteKeyStore>(&DataDirectory::defaultPath),
        UserDefaults::standard()));
    return *instance;
}

Installation::Installation(DirectoryProvider directory, std::shared_ptr<KeyStore> keyStore,
                           std::shared_ptr<UserDefaults> userDefaults)
    : _stores(std::make_unique<Stores>(std::move(directory), std::move(keyStore), std::move(userDefaults))) {}

Installation::~Installation() = default;

std::filesystem::path Installation::directory() const {
    return _stores->directory();
}

const std::shared_ptr<KeyStore>& Installation::keyStore() const {
    return _stores->keyStore;
}

const KeychainWrapper& Installation::keychain() const {
    return _stores->keychain;
}

DatabaseWrapper& Installation::database() {
    return _stores->database;
}

const std::shared_ptr<UserDefaults>& Installation::userDefaults() const {
    return _stores->userDefaults;
}

std::shared_ptr<AppDataService> Installation::appData() {
    return std::shared_ptr<AppDataService>(shared_from_this(), &_stores->appData);
}

Outcome<void, Error> Installation::opened() {
    for (auto opened : {_stores->keyStore->opened(), _stores->manager.opened(), _stores->userDefaults->opened()})
        if (!opened)
            return opened;
    return {};
}

} // namespace vexaqr
